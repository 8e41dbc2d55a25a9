#ifndef KELVARION_INTERNAL_APACKETFIFOWAIT_H
#define KELVARION_INTERNAL_APACKETFIFOWAIT_H
// Waiting on a packet FIFO without taking from it, for a consumer that takes
// its packets under a lock of its own. Not exported.
#include "aPacketFifo.h"

// Waits up to timeoutMs while the FIFO is empty; true when it holds a packet
// (false on time-out, for an unknown FIFO or one being destroyed).
bool aPacketFifo_WaitNotEmpty(aPacketFifoRef ref, uint32_t timeoutMs);

#endif
