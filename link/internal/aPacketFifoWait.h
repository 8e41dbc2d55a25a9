#ifndef KELVARION_INTERNAL_APACKETFIFOWAIT_H
#define KELVARION_INTERNAL_APACKETFIFOWAIT_H
// Waits on a packet FIFO for the packet link's own use. Not exported.
#include "aPacketFifo.h"

// For a consumer that takes its packets under a lock of its own: waits up to
// timeoutMs while the FIFO is empty; true when it holds a packet (false on
// time-out, for an unknown FIFO or one being destroyed).
bool aPacketFifo_WaitNotEmpty(aPacketFifoRef ref, uint32_t timeoutMs);

// aPacketFifo_AwaitFirst for a caller that has just sent a request: while the
// FIFO is empty it first polls it for a short while (an adaptive budget of at
// most about 100 us, kept per FIFO) and only then sleeps on it, so that a
// reply which comes at once is taken without waking the caller. Claiming,
// skip budgets and ageing are those of aPacketFifo_AwaitFirst.
aPacket* aPacketFifo_AwaitReply(aPacketFifoRef ref, aPacketMatchProc match, const void* matchRef,
                                uint32_t timeoutMs);

#endif
