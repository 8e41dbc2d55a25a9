// The serial download boot loader on a pseudo-terminal.
#include "SdpPtySimulator.h"

#include <cstring>

#include "platform/serial.h"

namespace simsdp {

namespace {
const uint8_t kAssociation[4] = {'#', 'E', 'E', '#'};
const uint32_t kPollMs = 20;
const uint32_t kWriteMs = 2000;
}  // namespace

SdpPtySimulator::SdpPtySimulator(const DeviceConfig& config) : device_(config) {}

SdpPtySimulator::~SdpPtySimulator() {
  stop();
}

bool SdpPtySimulator::start() {
  if (pty_)
    return true;
  pty_ = platform::ptyOpen();
  if (!pty_)
    return false;
  slavePath_ = platform::ptySlavePath(pty_);
  stopping_ = false;
  thread_ = std::thread([this] { serve(); });
  return true;
}

void SdpPtySimulator::stop() {
  stopping_ = true;
  if (thread_.joinable())
    thread_.join();
  if (pty_) {
    platform::ptyClose(pty_);
    pty_ = nullptr;
  }
}

void SdpPtySimulator::serve() {
  uint8_t buffer[4096];
  while (!stopping_) {
    if (stalled_) {
      // The line is no longer read, so the client's output backs up.
      std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
      continue;
    }
    long got = platform::ptyRead(pty_, buffer, sizeof buffer, kPollMs);
    if (got < 0) {
      // The slave side is closed between clients; try again shortly.
      std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
      continue;
    }
    if (got > 0)
      feed(buffer, static_cast<size_t>(got));
  }
}

void SdpPtySimulator::feed(const uint8_t* bytes, size_t count) {
  size_t at = 0;
  while (at < count && !stalled_) {
    size_t expected = device_.dataExpected();
    if (expected > 0) {
      size_t take = std::min(expected, count - at);
      send(device_.data(bytes + at, take));
      at += take;
      continue;
    }
    pending_.push_back(bytes[at++]);
    if (pending_.size() == sizeof kAssociation && memcmp(pending_.data(), kAssociation, sizeof kAssociation) == 0) {
      if (!device_.config().faults.silent)
        platform::ptyWrite(pty_, kAssociation, sizeof kAssociation, kWriteMs);
      pending_.clear();
    } else if (pending_.size() == 16) {
      uint8_t type = pending_[0];
      send(device_.command(pending_.data()));
      pending_.clear();
      if (type == kWriteFile && device_.config().faults.stallAfterWriteFile)
        stalled_ = true;
    }
  }
}

void SdpPtySimulator::send(const std::vector<Reply>& replies) {
  for (const Reply& reply : replies)
    platform::ptyWrite(pty_, reply.bytes.data(), reply.bytes.size(), kWriteMs);
}

}  // namespace simsdp
