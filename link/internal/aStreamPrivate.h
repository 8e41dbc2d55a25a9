#ifndef KELVARION_ASTREAMPRIVATE_H
#define KELVARION_ASTREAMPRIVATE_H
/* Internal helpers shared by the stream files (not exported). */
#include "aStream.h"

namespace platform {
struct Wakeup;
}

#define aSTREAM_CHECK 0x4321

/* True when stream is non-null and carries the stream check word. */
bool aStream_IsValid(aStreamRef stream);
/* True when the stream has a get operation. */
bool aStream_CanGet(aStreamRef stream);
/* One byte: from the push-back buffer while it holds any, else from get. */
aErr aStream_TakeByte(aStreamRef stream, uint8_t* byte);
/* Returns bytes taken from the stream to the front of its push-back buffer,
 * in order, so the next read sees them first. */
aErr aStream_Unread(aStreamRef stream, const uint8_t* bytes, size_t count);

/* A transport's wait that also ends when wakeup (null: none) is signalled,
 * consuming the signal; otherwise as aStreamWaitProc. */
typedef aErr (*aStreamWakeableWaitProc)(uint32_t milliseconds, platform::Wakeup* wakeup, void* ref);
/* Gives the stream a wait that aStream_Interrupt can end. */
aErr aStream_SetWakeableWait(aStreamRef stream, aStreamWakeableWaitProc wait);
/* True when aStream_Wait watches the transport for data and aStream_Interrupt
 * ends it, so a reader may wait long without missing data or a stop. */
bool aStream_WaitIsInterruptible(aStreamRef stream);

#endif
