// Fuzzes the packet link's receiving side over an in-memory stream: the
// input is what a module (or anything posing as one) sends. The reader thread
// assembles packets, answers heartbeats, resynchronises after framing
// errors, runs the user packet filter and logs packets; every packet that
// comes out must be whole, and the link must stop cleanly afterwards.
//
// Input: byte 0 selects the options (bit 0 filter, bit 1 packet log), the
// rest is the byte stream.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "aLink.h"
#include "aPacket.h"
#include "aStream.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

// The module's side: hands out the input once `go` is set, then reports
// nothing more; takes whatever the link writes.
struct MemoryPeer {
  std::vector<uint8_t> input;
  std::atomic<size_t> position{0};
  std::atomic<bool> go{false};
  std::atomic<bool> drained{false};  // a read found the input used up
  std::atomic<size_t> written{0};
};

aErr peerGet(uint8_t* byte, void* ref) {
  MemoryPeer* peer = static_cast<MemoryPeer*>(ref);
  if (!peer->go) return aErrNotReady;
  size_t at = peer->position.load();
  if (at >= peer->input.size()) {
    peer->drained = true;
    return aErrNotReady;
  }
  *byte = peer->input[at];
  peer->position = at + 1;
  return aErrNone;
}

aErr peerWrite(const uint8_t*, size_t count, void* ref) {
  static_cast<MemoryPeer*>(ref)->written += count;
  return aErrNone;
}

aErr peerWait(uint32_t milliseconds, void* ref) {
  MemoryPeer* peer = static_cast<MemoryPeer*>(ref);
  if (peer->go && peer->position < peer->input.size()) return aErrNone;
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds < 1 ? milliseconds : 1));
  return aErrNotReady;
}

aErr peerDestroy(void*) { return aErrNone; }

// Consumes packets whose command byte is 0x55.
bool filter(const aPacket* packet, void* ref) {
  check(packet->dataSize <= aPACKET_MAXDATA);
  if (packet->dataSize > 0 && packet->data[0] == 0x55) {
    ++*static_cast<size_t*>(ref);
    return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > 4096) return 0;
  MemoryPeer peer;
  peer.input.assign(data + 1, data + size);
  aStreamRef stream = aStream_Create(peerGet, nullptr, peerWrite, peerDestroy, &peer);
  check(stream != nullptr);
  aStream_SetWait(stream, peerWait);
  aLinkRef link = aLink_Create(stream);
  if (!link) return 0;
  size_t filtered = 0;
  if (data[0] & 1) aLink_InstallUserPacketFilter(link, filter, &filtered);
  if (data[0] & 2) {
    aLink_PacketDebug_SetLogSize(link, 256);
    aLink_PacketDebug_Enable(link);
  }
  peer.go = true;
  // The reader has taken every byte (bounded, in case it stalls: that would
  // show as a timeout of the fuzzer).
  for (int i = 0; i < 20000 && !peer.drained; ++i) std::this_thread::sleep_for(std::chrono::microseconds(50));
  check(peer.drained);
  size_t received = 0;
  while (aPacket* packet = aLink_GetPacket(link)) {
    check(packet->dataSize <= aPACKET_MAXDATA);
    check(!(data[0] & 1) || packet->dataSize == 0 || packet->data[0] != 0x55);
    ++received;
    aPacket_Destroy(&packet);
  }
  check(received + filtered <= size);
  if (data[0] & 2) {
    uint8_t direction = 0, bytes[64];
    uint32_t length = sizeof bytes;
    while (aLink_PacketDebug_Read(link, &direction, &length, bytes) == aErrNone) {
      check(direction == 1 || direction == 2);
      check(length <= aPACKET_MAXDATA + 2);
      length = sizeof bytes;
    }
  }
  check(aLink_Destroy(&link) == aErrNone);
  return 0;
}
