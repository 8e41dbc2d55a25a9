// The serial download boot loader's command handling and RAM.
#include "SdpDevice.h"

#include <algorithm>
#include <cstdio>

namespace simsdp {

namespace {

uint32_t bigEndian(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         p[3];
}

}  // namespace

Command parseCommand(const uint8_t bytes[16]) {
  Command c;
  c.type = bytes[0];
  c.typesMatch = bytes[0] == bytes[1];
  c.address = bigEndian(bytes + 2);
  c.format = bytes[6];
  c.count = bigEndian(bytes + 7);
  c.data = bigEndian(bytes + 11);
  return c;
}

SdpDevice::SdpDevice(const DeviceConfig& config) : config_(config), ram_(config.ramSize, 0) {}

bool SdpDevice::inRam(uint32_t address, uint64_t count) const {
  return address >= config_.ramBase &&
         static_cast<uint64_t>(address - config_.ramBase) + count <= static_cast<uint64_t>(config_.ramSize);
}

Reply SdpDevice::word(Reply::Kind kind, uint32_t value) const {
  Reply r{kind, {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
                 static_cast<uint8_t>(value >> 24)}};
  return r;
}

std::vector<Reply> SdpDevice::command(const uint8_t bytes[16]) {
  Command c = parseCommand(bytes);
  uint32_t jumpTo = 0;
  bool jumped = false;
  std::vector<Reply> replies;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++commands_;
    const Faults& f = config_.faults;
    Reply hab = word(Reply::Hab, config_.habMode);
    if (!c.typesMatch) {
      replies = {hab, word(Reply::Status, kRefused)};
    } else {
      switch (c.type) {
        case kErrorStatus:
          if (!f.noAck)
            replies = {hab, word(Reply::Status, config_.errorStatus)};
          break;
        case kWriteFile:
        case kDcdWrite:
          dataCommand_ = c.type;
          dataAddress_ = c.address;
          dataExpected_ = c.count;
          dataBytes_.clear();
          if (c.type == kWriteFile && f.unsolicited)
            replies = {hab};
          if (dataExpected_ == 0)
            for (Reply& r : finishData()) replies.push_back(r);
          break;
        case kReadRegister:
          if (inRam(c.address, c.count)) {
            size_t at = c.address - config_.ramBase;
            Reply data{Reply::Data, std::vector<uint8_t>(ram_.begin() + static_cast<std::ptrdiff_t>(at),
                                                         ram_.begin() + static_cast<std::ptrdiff_t>(at + c.count))};
            replies = {hab, data};
            bytesReadBack_ += c.count;
          } else {
            replies = {hab, word(Reply::Status, kRefused)};
          }
          break;
        case kWriteRegister:
          if (inRam(c.address, 4)) {
            size_t at = c.address - config_.ramBase;
            for (int i = 0; i < 4; ++i) ram_[at + i] = static_cast<uint8_t>(c.data >> (8 * (3 - i)));
            replies = {hab, word(Reply::Status, kRegisterWritten)};
          } else {
            replies = {hab, word(Reply::Status, kRefused)};
          }
          break;
        case kSkipDcdHeader:
          replies = {hab, word(Reply::Status, kSkipDcdAck)};
          break;
        case kJumpAddress:
          if (inRam(c.address, 4)) {
            replies = {hab};
            jumps_.push_back(c.address);
            jumped = true;
            jumpTo = c.address;
          } else {
            replies = {hab, word(Reply::Status, kRefused)};
          }
          break;
        default:
          replies = {hab, word(Reply::Status, kRefused)};
          break;
      }
    }
    if (f.silent)
      replies.clear();
  }
  if (jumped && onJump)
    onJump(jumpTo);
  return replies;
}

std::vector<Reply> SdpDevice::data(const uint8_t* bytes, size_t count) {
  std::vector<Reply> replies;
  WrittenBlock written;
  bool complete = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t take = std::min(count, dataExpected_);
    dataBytes_.insert(dataBytes_.end(), bytes, bytes + take);
    dataExpected_ -= take;
    if (take > 0 && dataExpected_ == 0) {
      replies = finishData();
      complete = dataCommand_ == kWriteFile && !blocks_.empty();
      if (complete)
        written = blocks_.back();
    }
    if (config_.faults.silent)
      replies.clear();
  }
  if (complete && onWrite)
    onWrite(written);
  return replies;
}

// Called with the lock held when the last data byte has arrived.
std::vector<Reply> SdpDevice::finishData() {
  Reply hab = word(Reply::Hab, config_.habMode);
  if (dataCommand_ == kDcdWrite) {
    // DCD entries are register writes; RAM holds no registers, so they are taken as done.
    return {hab, word(Reply::Status, kRegisterWritten)};
  }
  if (!inRam(dataAddress_, dataBytes_.size()))
    return {hab, word(Reply::Status, kRefused)};
  std::copy(dataBytes_.begin(), dataBytes_.end(), ram_.begin() + (dataAddress_ - config_.ramBase));
  blocks_.push_back({dataAddress_, dataBytes_});
  dataBytes_.clear();
  uint32_t status = config_.faults.wrongCompletion ? config_.faults.completionStatus : kFileComplete;
  return {hab, word(Reply::Status, status)};
}

size_t SdpDevice::dataExpected() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dataExpected_;
}

std::vector<WrittenBlock> SdpDevice::blocks() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return blocks_;
}

std::vector<uint32_t> SdpDevice::jumps() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return jumps_;
}

std::vector<uint8_t> SdpDevice::memory(uint32_t address, size_t count) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!inRam(address, count))
    return {};
  auto from = ram_.begin() + (address - config_.ramBase);
  return std::vector<uint8_t>(from, from + static_cast<std::ptrdiff_t>(count));
}

bool SdpDevice::saveImage(const std::string& path, std::string* error) const {
  std::lock_guard<std::mutex> lock(mutex_);
  FILE* file = fopen(path.c_str(), "wb");
  bool ok = file && fwrite(ram_.data(), 1, ram_.size(), file) == ram_.size();
  if (file && fclose(file) != 0)
    ok = false;
  if (!ok && error)
    *error = "cannot write the RAM image to \"" + path + "\"";
  return ok;
}

uint64_t SdpDevice::bytesReadBack() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return bytesReadBack_;
}

unsigned SdpDevice::commandsSeen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return commands_;
}

}  // namespace simsdp
