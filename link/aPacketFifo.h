#ifndef KELVARION_APACKETFIFO_H
#define KELVARION_APACKETFIFO_H
/* Thread-safe packet queues and the packet debug log ring.
 *
 * A packet FIFO is named by a 64-bit reference (never 0) looked up in a
 * process-wide registry, so a reference that outlived its FIFO is harmless:
 * operations on it give null, 0 or aErrParam. Packets are copied into the
 * FIFO and out of it: a packet handed out is a new aPacket the caller
 * destroys with aPacket_Destroy.
 *
 * Rules every user should know:
 *  - overflow: a put that leaves more than 20 packets queued empties the
 *    whole FIFO (aPACKETFIFO_MAX = 20 is the most it ever holds);
 *  - ageing: each queued packet has a skip budget of 10. A filtered search
 *    (GetFirst, AwaitFirst) that passes over a packet lowers its budget; a
 *    search that meets a packet whose budget is spent drops it and ends
 *    without a result. So a packet nobody claims is gone after eleven
 *    searches have passed it. A caller of AwaitFirst passes over the same
 *    packets again at once only while it is the sole caller waiting there;
 *    beside others it looks again when a packet comes, so that one caller
 *    does not spend the budget of another's reply;
 *  - destroying a FIFO wakes every waiter, which then returns null. */
#include "aPacket.h"

/* Most packets a FIFO holds; the put that would make it one more empties it. */
#define aPACKETFIFO_MAX 20
/* Searches a queued packet survives unclaimed. */
#define aPACKETFIFO_SKIP_BUDGET 10

typedef uint64_t aPacketFifoRef;

/* Match function of the filtered operations: non-zero claims the packet.
 * It runs with the FIFO's lock held and must not call into the same FIFO.
 * `ref` is the caller's reference, passed through unchanged. */
typedef uint8_t (*aPacketMatchProc)(const aPacket* packet, const void* ref);

/* Byte ring of logged traffic (see aPacketLog_*). */
typedef struct aPacketLog aPacketLog;

KLV_EXTERN_C_BEGIN
/* A new FIFO; 0 when memory is short. */
KLV_EXPORT aPacketFifoRef aPacketFifo_Create(void);
/* Frees every queued packet, wakes all waiters (they return null) and sets
 * *ref to 0. aErrNotFound for an unknown reference, aErrParam for a null pointer. */
KLV_EXPORT aErr aPacketFifo_Destroy(aPacketFifoRef* ref);
/* Number of queued packets; 0 for an unknown reference. */
KLV_EXPORT uint32_t aPacketFifo_GetLength(aPacketFifoRef ref);
/* Queues a copy of `packet` and wakes the waiters. aErrParam for an invalid
 * packet or unknown FIFO, aErrCancel while the FIFO is being destroyed,
 * aErrResource when memory is short. See the overflow rule above. */
KLV_EXPORT aErr aPacketFifo_Put(aPacketFifoRef ref, const aPacket* packet);
/* The oldest packet, or null when there is none; never waits. */
KLV_EXPORT aPacket* aPacketFifo_Get(aPacketFifoRef ref);
/* The oldest packet, waiting up to timeoutMs for one; null on timeout. */
KLV_EXPORT aPacket* aPacketFifo_Await(aPacketFifoRef ref, uint32_t timeoutMs);
/* Waits without limit while the FIFO is empty, then makes one search pass:
 * the first packet `match` claims, or null when none was claimed (or a packet
 * whose budget was spent was dropped, or the FIFO was destroyed). */
KLV_EXPORT aPacket* aPacketFifo_GetFirst(aPacketFifoRef ref, aPacketMatchProc match, const void* matchRef);
/* Repeats search passes until one claims a packet or timeoutMs has passed,
 * sleeping on the FIFO while it is empty. Null on timeout or destruction. */
KLV_EXPORT aPacket* aPacketFifo_AwaitFirst(aPacketFifoRef ref, aPacketMatchProc match, const void* matchRef,
                                          uint32_t timeoutMs);
/* Removes and frees every queued packet `match` claims; returns how many
 * (0 for an unknown FIFO). */
KLV_EXPORT uint32_t aPacketFifo_DrainPackets(aPacketFifoRef ref, aPacketMatchProc match, const void* matchRef);

/* Packet debug log: a byte ring of records (direction byte, length byte n,
 * n bytes). When a new record does not fit, the oldest records are dropped.
 * The ring has no lock of its own; its owner guards it. */
/* A new ring of `capacity` bytes; null for a capacity below 3 or short memory. */
KLV_EXPORT aPacketLog* aPacketLog_Create(uint32_t capacity);
/* Appends a record of `length` (at most 255) bytes. aErrParam for a null log,
 * a length above 255 or null bytes with a non-zero length; aErrOverrun when
 * the record cannot fit even in the empty ring (2 + length must be below the
 * capacity), in which case nothing is written. */
KLV_EXPORT aErr aPacketLog_Put(aPacketLog* log, uint8_t direction, uint32_t length, const uint8_t* bytes);
/* Takes the oldest record. On entry *length is the buffer's capacity, on
 * return the record's length. aErrNotFound when the ring is empty;
 * aErrOverrun when the buffer is too small (the record stays for the next read). */
KLV_EXPORT aErr aPacketLog_Get(aPacketLog* log, uint8_t* direction, uint32_t* length, uint8_t* buffer);
/* Frees the ring (nothing for a null one) and nulls the caller's pointer; aErrNone. */
KLV_EXPORT aErr aPacketLog_Destroy(aPacketLog** log);
KLV_EXTERN_C_END

#endif
