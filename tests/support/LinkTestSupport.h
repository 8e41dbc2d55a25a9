#ifndef TESTS_SUPPORT_LINKTESTSUPPORT_H
#define TESTS_SUPPORT_LINKTESTSUPPORT_H
// Helpers for the tests of packets, packet FIFOs and packet links (header
// only: its users link the library themselves).
#include <chrono>
#include <thread>

#include "aLink.h"
#include "aPacketFifo.h"

// Match functions: a packet whose command (data[0]) is *ref, and none.
inline uint8_t matchCommand(const aPacket* packet, const void* ref) {
  return packet->dataSize >= 1 && packet->data[0] == *static_cast<const uint8_t*>(ref);
}
inline uint8_t matchNothing(const aPacket*, const void*) { return 0; }

// Queues a one-byte packet holding `command`.
inline aErr putCommand(aPacketFifoRef fifo, uint8_t command, uint8_t address = 2) {
  aPacket* packet = aPacket_CreateWithData(address, 1, &command);
  const aErr err = aPacketFifo_Put(fifo, packet);
  aPacket_Destroy(&packet);
  return err;
}

// Waits (generously bounded) until the link shows `status`.
inline bool waitStatus(aLinkRef link, linkStatus status, int timeoutMs = 10000) {
  const auto start = std::chrono::steady_clock::now();
  while (aLink_GetStatus(link) != status) {
    if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(timeoutMs)) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

#endif
