#ifndef KELVARION_PLATFORM_POSIX_WAKEUP_POSIX_H
#define KELVARION_PLATFORM_POSIX_WAKEUP_POSIX_H
// Waiting on a descriptor or a wake-up signal, for the POSIX backends.
#include <cstdint>

#include "platform/wakeup.h"

namespace platform {

// Waits up to timeoutMs until fd has something to read (data, its end or a
// failure) or the wake-up is signalled (null: no wake-up). True in either
// case, with a signal consumed; a failing poll counts as readable, so that
// the read after it reports the failure. False when the time ran out.
bool pollReadableOrWoken(int fd, Wakeup* wakeup, uint32_t timeoutMs);

}  // namespace platform

#endif
