// The simulated boot loader's memory commands: prepare and erase sectors,
// write to RAM, read, copy RAM to flash, compare, blank check and go.
#include <cstdlib>
#include <cstring>

#include "IspLoaderCodes.h"
#include "IspLoaderModel.h"
#include "IspUu.h"

using namespace isploader;

uint8_t* IspLoaderModel::memory(uint32_t address, uint32_t count) {
  uint64_t end = static_cast<uint64_t>(address) + count;
  if (end <= kFlashSize)
    return flash_.data() + address;
  if (address >= kRamStart && end <= static_cast<uint64_t>(kRamStart) + kRamSize)
    return ram_.data() + (address - kRamStart);
  return nullptr;
}

bool IspLoaderModel::sectorRange(uint32_t address, uint32_t count, uint32_t* first, uint32_t* last) const {
  if (count == 0 || static_cast<uint64_t>(address) + count > kFlashSize)
    return false;
  *first = sectorOfAddress(address);
  *last = sectorOfAddress(address + count - 1);
  return true;
}

void IspLoaderModel::cmdPrepareErase(char letter, const std::vector<long>& args) {
  long first = args[0], last = args[1];
  if (first < 0 || last < first || last >= static_cast<long>(kSectors)) {
    status(kInvalidSector);
    return;
  }
  if (letter == 'P') {
    for (long s = first; s <= last; ++s)
      prepared_[static_cast<size_t>(s)] = true;
    status(kSuccess);
    return;
  }
  if (!unlocked_) {
    status(kCmdLocked);
    return;
  }
  for (long s = first; s <= last; ++s) {
    if (!prepared_[static_cast<size_t>(s)]) {
      status(kSectorNotPrepared);
      return;
    }
  }
  if (options_.eraseMs > 0)
    output_->pause(options_.eraseMs);
  uint32_t begin = sectorStart(static_cast<uint32_t>(first));
  uint32_t end = last + 1 < static_cast<long>(kSectors) ? sectorStart(static_cast<uint32_t>(last + 1)) : kFlashSize;
  memset(flash_.data() + begin, 0xFF, end - begin);
  prepared_.assign(kSectors, false);
  status(kSuccess);
}

void IspLoaderModel::cmdWrite(const std::vector<long>& args) {
  uint32_t address = static_cast<uint32_t>(args[0]);
  uint32_t count = static_cast<uint32_t>(args[1]);
  if (!unlocked_) {
    status(kCmdLocked);
    return;
  }
  if (args[0] < 0 || address % 4 != 0) {
    status(kAddrError);
    return;
  }
  if (args[1] <= 0 || count % 4 != 0) {
    status(kCountError);
    return;
  }
  if (address < kRamStart || static_cast<uint64_t>(address) + count > static_cast<uint64_t>(kRamStart) + kRamSize) {
    status(kAddrNotMapped);
    return;
  }
  status(kSuccess);
  transfer_ = Transfer();
  transfer_.address = address;
  transfer_.count = count;
  state_ = State::WriteData;
}

void IspLoaderModel::writeDataLine(const std::string& text) {
  dataLines_.push_back(text);
  uint32_t received = transfer_.blockStart + static_cast<uint32_t>(transfer_.block.size());
  if (transfer_.lines < kLinesPerBlock && received < transfer_.count) {
    std::vector<uint8_t> bytes;
    uuDecodeLine(text, &bytes);  // a damaged line shows in the checksum
    size_t room = transfer_.count - received;
    if (bytes.size() > room)
      bytes.resize(room);
    transfer_.block.insert(transfer_.block.end(), bytes.begin(), bytes.end());
    ++transfer_.lines;
    return;
  }
  // The checksum of the block.
  uint32_t sum = 0;
  for (uint8_t b : transfer_.block)
    sum += b;
  char* end = nullptr;
  errno = 0;
  unsigned long sent = strtoul(text.c_str(), &end, 10);
  bool good = !text.empty() && *end == '\0' && errno == 0 && sent == sum &&
              transfer_.blockStart + transfer_.block.size() <= transfer_.count;
  if (good && resendsLeft_ > 0) {
    --resendsLeft_;
    good = false;
  }
  if (good) {
    // Lines that carried no byte make a block of nothing (and memcpy may
    // not be handed the empty vector's null data).
    if (!transfer_.block.empty())
      memcpy(ram_.data() + (transfer_.address - kRamStart) + transfer_.blockStart, transfer_.block.data(),
             transfer_.block.size());
    transfer_.blockStart += static_cast<uint32_t>(transfer_.block.size());
    reply("OK\r\n");
  } else {
    reply("RESEND\r\n");
  }
  transfer_.block.clear();
  transfer_.lines = 0;
  if (transfer_.blockStart >= transfer_.count)
    state_ = State::Command;
}

void IspLoaderModel::cmdRead(const std::vector<long>& args) {
  uint32_t address = static_cast<uint32_t>(args[0]);
  uint32_t count = static_cast<uint32_t>(args[1]);
  if (args[0] < 0 || address % 4 != 0) {
    status(kAddrError);
    return;
  }
  if (args[1] <= 0 || count % 4 != 0) {
    status(kCountError);
    return;
  }
  if (!memory(address, count)) {
    status(kAddrNotMapped);
    return;
  }
  status(kSuccess);
  transfer_ = Transfer();
  transfer_.address = address;
  transfer_.count = count;
  state_ = State::ReadData;
  sendReadBlock();
}

void IspLoaderModel::sendReadBlock() {
  const uint8_t* source = memory(transfer_.address, transfer_.count);
  uint32_t position = transfer_.blockStart;
  uint32_t sum = 0;
  std::string lines;
  for (uint32_t n = 0; n < kLinesPerBlock && position < transfer_.count; ++n) {
    uint32_t take = transfer_.count - position < kBytesPerLine ? transfer_.count - position : kBytesPerLine;
    lines += uuEncodeLine(source + position, take) + "\r\n";
    for (uint32_t i = 0; i < take; ++i)
      sum += source[position + i];
    position += take;
  }
  transfer_.done = position;
  reply(lines + std::to_string(sum) + "\r\n");
}

void IspLoaderModel::readDataReply(const std::string& text) {
  if (text == "OK")
    transfer_.blockStart = transfer_.done;
  else if (text != "RESEND") {
    state_ = State::Command;  // the host gave up
    return;
  }
  if (transfer_.blockStart >= transfer_.count)
    state_ = State::Command;
  else
    sendReadBlock();
}

void IspLoaderModel::cmdCopy(const std::vector<long>& args) {
  uint32_t destination = static_cast<uint32_t>(args[0]);
  uint32_t source = static_cast<uint32_t>(args[1]);
  uint32_t count = static_cast<uint32_t>(args[2]);
  if (!unlocked_) {
    status(kCmdLocked);
    return;
  }
  if (args[0] < 0 || destination % 256 != 0) {
    status(kDstAddrError);
    return;
  }
  if (args[1] < 0 || source % 4 != 0) {
    status(kSrcAddrError);
    return;
  }
  if (count != 256 && count != 512 && count != 1024 && count != 4096) {
    status(kCountError);
    return;
  }
  uint32_t first, last;
  if (!sectorRange(destination, count, &first, &last)) {
    status(kDstAddrNotMapped);
    return;
  }
  if (source < kRamStart || static_cast<uint64_t>(source) + count > static_cast<uint64_t>(kRamStart) + kRamSize) {
    status(kSrcAddrNotMapped);
    return;
  }
  for (uint32_t s = first; s <= last; ++s) {
    if (!prepared_[s]) {
      status(kSectorNotPrepared);
      return;
    }
  }
  for (uint32_t i = 0; i < count; ++i) {
    if (flash_[destination + i] != 0xFF) {
      status(kSectorNotBlank);
      return;
    }
  }
  memcpy(flash_.data() + destination, ram_.data() + (source - kRamStart), count);
  prepared_.assign(kSectors, false);
  status(kSuccess);
  output_->flashChanged();
}

void IspLoaderModel::cmdCompare(const std::vector<long>& args) {
  uint32_t a = static_cast<uint32_t>(args[0]);
  uint32_t b = static_cast<uint32_t>(args[1]);
  uint32_t count = static_cast<uint32_t>(args[2]);
  if (args[0] < 0 || args[1] < 0 || a % 4 != 0 || b % 4 != 0) {
    status(kAddrError);
    return;
  }
  if (args[2] <= 0 || count % 4 != 0) {
    status(kCountError);
    return;
  }
  const uint8_t* pa = memory(a, count);
  const uint8_t* pb = memory(b, count);
  if (!pa || !pb) {
    status(kAddrNotMapped);
    return;
  }
  for (uint32_t i = 0; i < count; ++i) {
    if (pa[i] != pb[i]) {
      status(kCompareError);
      reply(std::to_string(i & ~3u) + "\r\n");
      return;
    }
  }
  status(kSuccess);
}

void IspLoaderModel::cmdBlankCheck(const std::vector<long>& args) {
  long first = args[0], last = args[1];
  if (first < 0 || last < first || last >= static_cast<long>(kSectors)) {
    status(kInvalidSector);
    return;
  }
  uint32_t begin = sectorStart(static_cast<uint32_t>(first));
  uint32_t end = last + 1 < static_cast<long>(kSectors) ? sectorStart(static_cast<uint32_t>(last + 1)) : kFlashSize;
  for (uint32_t a = begin; a < end; a += 4) {
    uint32_t word = static_cast<uint32_t>(flash_[a]) | static_cast<uint32_t>(flash_[a + 1]) << 8 |
                    static_cast<uint32_t>(flash_[a + 2]) << 16 | static_cast<uint32_t>(flash_[a + 3]) << 24;
    if (word != 0xFFFFFFFFu) {
      status(kSectorNotBlank);
      reply(std::to_string(a) + "\r\n" + std::to_string(word) + "\r\n");
      return;
    }
  }
  status(kSuccess);
}

void IspLoaderModel::cmdGo(const std::vector<long>& args) {
  if (!unlocked_) {
    status(kCmdLocked);
    return;
  }
  startAddress_ = static_cast<uint32_t>(args[0]);
  status(kSuccess);
  state_ = State::Running;
}
