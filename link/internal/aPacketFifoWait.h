#ifndef KELVARION_INTERNAL_APACKETFIFOWAIT_H
#define KELVARION_INTERNAL_APACKETFIFOWAIT_H
// Waits on a packet FIFO for the packet link's own use. Not exported.
#include "aPacketFifo.h"

// For a consumer that takes its packets under a lock of its own: waits up to
// timeoutMs while the FIFO is empty; true when it holds a packet (false on
// time-out, for an unknown FIFO or one being destroyed).
bool aPacketFifo_WaitNotEmpty(aPacketFifoRef ref, uint32_t timeoutMs);

// One filtered search pass (claiming and ageing as in aPacketFifo_GetFirst)
// that never waits: null when the FIFO is empty or nothing was claimed.
aPacket* aPacketFifo_TakeFirst(aPacketFifoRef ref, aPacketMatchProc match, const void* matchRef);

// Where one caller's search passes stand, kept from one of its waits to the
// next by a caller whose wait is made of several (the link's reply waits):
// it passes again over the packets it has passed over only once a new one
// has come, however often it comes back. Packets are then aged by the
// arrival of others, never by quick passes: a reply that comes just before
// its own caller starts waiting for it is not spent by another caller.
struct aPacketFifoPasses {
  bool passedOver = false;
  uint32_t passedAt = 0;  // the FIFO's change count when it last passed
};

// aPacketFifo_AwaitFirst for a caller that has just sent a request: while the
// FIFO is empty it first polls it for a short while (an adaptive budget of at
// most about 100 us, kept per FIFO) and only then sleeps on it, so that a
// reply which comes at once is taken without waking the caller; without
// `poll`, it sleeps at once. Claiming, skip budgets and ageing are those of
// aPacketFifo_AwaitFirst; `passes` (null: none) carries the caller's passes
// over from its earlier waits.
aPacket* aPacketFifo_AwaitReply(aPacketFifoRef ref, aPacketMatchProc match, const void* matchRef,
                                uint32_t timeoutMs, aPacketFifoPasses* passes = nullptr, bool poll = true);

#endif
