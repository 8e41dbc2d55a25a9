#ifndef KELVARION_PLATFORM_WAKEUP_H
#define KELVARION_PLATFORM_WAKEUP_H
// A wake-up signal that ends a thread's wait on a port or a connection from
// another thread, so that the waiting thread need not wake on a timer to
// look at its stop flag. A signal given while nobody waits ends the next
// wait at once; the wait that ends because of it consumes it.
//
// Backend contract (platform/<system>/wakeup.cpp and wakeup_<system>.h, where
// the serial and socket waits learn to wait on it): wakeupSignal may be
// called from any thread and never blocks; one thread waits at a time. A
// system without such a signal returns null from wakeupCreate, and every
// wait then ends on its time-out.
#include <cstdint>

namespace platform {

struct Wakeup;
// Null when the system has none to give; waits are then ended only by their
// time limit.
Wakeup* wakeupCreate();
void wakeupDestroy(Wakeup* wakeup);
void wakeupSignal(Wakeup* wakeup);
// Waits up to timeoutMs for a signal; true when one came (and is consumed).
bool wakeupWait(Wakeup* wakeup, uint32_t timeoutMs);

}  // namespace platform

#endif
