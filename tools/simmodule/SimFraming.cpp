// Module-side packet framing.
#include "SimFraming.h"

namespace simmodule {

bool Framer::acceptableAddress(uint8_t address) {
  return address == kLinkControlAddress || address == kQueryAddress || (address != 0 && address % 2 == 0);
}

void Framer::reset() {
  packet_ = Packet();
  have_ = 0;
}

Framer::Result Framer::feed(uint8_t byte, uint64_t nowMs, Packet* out) {
  if (have_ > 0 && nowMs - lastMs_ > kStaleMs) {
    reset();
    ++staleDrops_;
  }
  lastMs_ = nowMs;
  if (have_ == 0) {
    if (!acceptableAddress(byte))
      return Result::FramingError;
    packet_.address = byte;
    have_ = 1;
    return Result::Pending;
  }
  if (have_ == 1) {
    if (byte > kMaxData) {
      reset();
      return Result::FramingError;
    }
    packet_.length = byte;
    have_ = 2;
  } else {
    packet_.data[have_ - 2] = byte;
    ++have_;
  }
  if (have_ == static_cast<size_t>(packet_.length) + 2) {
    *out = packet_;
    reset();
    return Result::Packet;
  }
  return Result::Pending;
}

}  // namespace simmodule
