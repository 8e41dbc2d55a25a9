// The simulated boot loader's behaviour: sync, echo, commands and transfers.
#include "IspLoaderModel.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "IspUu.h"

namespace {

enum Status : long {
  kSuccess = 0,
  kInvalidCommand = 1,
  kSrcAddrError = 2,
  kDstAddrError = 3,
  kSrcAddrNotMapped = 4,
  kDstAddrNotMapped = 5,
  kCountError = 6,
  kInvalidSector = 7,
  kSectorNotBlank = 8,
  kSectorNotPrepared = 9,
  kCompareError = 10,
  kParamError = 12,
  kAddrError = 13,
  kAddrNotMapped = 14,
  kCmdLocked = 15,
  kInvalidCode = 16,
};

const uint32_t kSectors = 30;
const uint32_t kUnlockCode = 23130;
const uint32_t kLinesPerBlock = 20;
const uint32_t kBytesPerLine = 45;

uint32_t sectorStart(uint32_t sector) {
  return sector < 16 ? sector * 4096 : 0x10000 + (sector - 16) * 32768;
}

uint32_t sectorOfAddress(uint32_t address) {
  return address < 0x10000 ? address / 4096 : 16 + (address - 0x10000) / 32768;
}

// Splits "X a b c" into its decimal arguments. False on a malformed number.
bool parseArguments(const std::string& text, std::vector<long>* args, std::string* word) {
  std::istringstream in(text.substr(1));
  std::string token;
  while (in >> token) {
    char* end = nullptr;
    errno = 0;
    long value = strtol(token.c_str(), &end, 10);
    if (*end != '\0' || errno != 0) {
      *word = token;  // the mode letter of G, for example
      continue;
    }
    args->push_back(value);
  }
  return true;
}

}  // namespace

IspLoaderModel::IspLoaderModel(const IspSimOptions& options, Output* output)
    : options_(options),
      output_(output),
      resendsLeft_(options.resends),
      refusalsLeft_(options.refusals),
      prepared_(kSectors, false),
      flash_(kFlashSize, 0xFF),
      ram_(kRamSize, 0) {}

bool IspLoaderModel::echoes() const {
  switch (state_) {
    case State::WaitSynchronized:
    case State::WaitCrystal:
      return true;
    case State::Command:
    case State::WriteData:
    case State::ReadData:
      return echo_;
    default:
      return false;
  }
}

void IspLoaderModel::receive(uint8_t byte) {
  if (options_.silent || state_ == State::Running)
    return;
  if (state_ == State::WaitQuestion) {
    if (byte == '?') {
      reply("Synchronized\r\n");
      state_ = State::WaitSynchronized;
      pending_.clear();
    }
    return;
  }
  if (state_ == State::WaitSynchronized && pending_.empty() && byte == '?') {
    reply("Synchronized\r\n");  // the host asked again
    return;
  }
  if (echoes()) {
    char echoed = static_cast<char>(byte);
    if (options_.wrongEcho && state_ == State::Command && pending_.empty() && byte != '\r' && byte != '\n')
      echoed = static_cast<char>(byte ^ 0x20);
    output_->send(std::string(1, echoed));
  }
  if (byte == '\n') {
    std::string text = pending_;
    pending_.clear();
    if (!text.empty() && text.back() == '\r')
      text.pop_back();
    line(text);
    return;
  }
  if (pending_.size() < 4096)
    pending_ += static_cast<char>(byte);
}

void IspLoaderModel::reply(const std::string& text) {
  output_->send(text);
}

void IspLoaderModel::status(long code) {
  reply(std::to_string(code) + "\r\n");
}

void IspLoaderModel::line(const std::string& text) {
  switch (state_) {
    case State::WaitSynchronized:
    case State::WaitCrystal:
      syncLine(text);
      break;
    case State::Command:
      if (!text.empty())
        command(text);
      break;
    case State::WriteData:
      writeDataLine(text);
      break;
    case State::ReadData:
      readDataReply(text);
      break;
    default:
      break;
  }
}

void IspLoaderModel::syncLine(const std::string& text) {
  if (state_ == State::WaitSynchronized) {
    if (text == "Synchronized") {
      reply("OK\r\n");
      state_ = State::WaitCrystal;
    } else {
      state_ = State::WaitQuestion;
    }
    return;
  }
  char* end = nullptr;
  strtoul(text.c_str(), &end, 10);
  if (!text.empty() && *end == '\0') {
    reply("OK\r\n");
    state_ = State::Command;
  } else {
    state_ = State::WaitQuestion;
  }
}

void IspLoaderModel::command(const std::string& text) {
  commands_.push_back(text);
  if (refusalsLeft_ > 0) {
    --refusalsLeft_;
    status(kInvalidCommand);
    return;
  }
  char letter = text[0];
  auto forced = options_.statusFor.find(letter);
  if (forced != options_.statusFor.end() && forced->second != kSuccess) {
    status(forced->second);
    return;
  }
  std::vector<long> args;
  std::string word;
  parseArguments(text, &args, &word);
  auto expect = [&](size_t n) {
    if (args.size() == n) return true;
    status(kParamError);
    return false;
  };
  switch (letter) {
    case 'U': if (expect(1)) cmdUnlock(args); break;
    case 'A': if (expect(1)) cmdEcho(args); break;
    case 'J': cmdIdentify(); break;
    case 'K': cmdBootCode(); break;
    case 'N': cmdSerial(); break;
    case 'P':
    case 'E': if (expect(2)) cmdPrepareErase(letter, args); break;
    case 'W': if (expect(2)) cmdWrite(args); break;
    case 'R': if (expect(2)) cmdRead(args); break;
    case 'C': if (expect(3)) cmdCopy(args); break;
    case 'M': if (expect(3)) cmdCompare(args); break;
    case 'I': if (expect(2)) cmdBlankCheck(args); break;
    case 'G':
      if (args.size() == 1 && (word == "T" || word == "A"))
        cmdGo(args);
      else
        status(kParamError);
      break;
    default: status(kInvalidCommand); break;
  }
}

void IspLoaderModel::cmdUnlock(const std::vector<long>& args) {
  unlocked_ = args[0] == kUnlockCode;
  status(unlocked_ ? kSuccess : kInvalidCode);
}

void IspLoaderModel::cmdEcho(const std::vector<long>& args) {
  if (args[0] != 0 && args[0] != 1) {
    status(kParamError);
    return;
  }
  status(kSuccess);
  echo_ = args[0] == 1;
}

void IspLoaderModel::cmdIdentify() {
  status(kSuccess);
  reply(std::to_string(options_.partId) + "\r\n");
}

void IspLoaderModel::cmdBootCode() {
  status(kSuccess);
  reply(std::to_string(options_.bootCodeMinor) + "\r\n" + std::to_string(options_.bootCodeMajor) + "\r\n");
}

void IspLoaderModel::cmdSerial() {
  status(kSuccess);
  for (uint32_t word32 : options_.serial) reply(std::to_string(word32) + "\r\n");
}

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
