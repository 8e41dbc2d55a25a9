#ifndef SIMMODULE_SIMFRAMING_H
#define SIMMODULE_SIMFRAMING_H
// The module's side of packet framing: bytes from the host in, packets out.
// Free of I/O so that it can be driven with any bytes.
#include <cstddef>
#include <cstdint>

#include "SimModule.h"

namespace simmodule {

class Framer {
 public:
  enum class Result { Pending, Packet, FramingError };

  // A partial packet older than this is dropped when the next byte comes.
  static constexpr uint64_t kStaleMs = 250;

  // Feeds one byte received at nowMs. Packet: *out holds a complete packet.
  // FramingError: the byte broke the framing and was dropped (an address
  // that is neither an even module address nor 0xAD/0xAF, or a length above
  // 28); framing starts over at the next byte.
  Result feed(uint8_t byte, uint64_t nowMs, Packet* out);
  void reset();
  bool midPacket() const { return have_ > 0; }
  // Partial packets dropped because they went stale.
  uint32_t staleDrops() const { return staleDrops_; }

  // Addresses the host may send to: even non-zero modules, 0xAD and 0xAF.
  static bool acceptableAddress(uint8_t address);

 private:
  Packet packet_;
  size_t have_ = 0;
  uint64_t lastMs_ = 0;
  uint32_t staleDrops_ = 0;
};

}  // namespace simmodule

#endif
