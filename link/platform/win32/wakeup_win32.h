#ifndef KELVARION_PLATFORM_WIN32_WAKEUP_WIN32_H
#define KELVARION_PLATFORM_WIN32_WAKEUP_WIN32_H
// How the socket and serial backends wait on a wake-up signal as well.
#include <winsock2.h>
#include <windows.h>

#include "platform/wakeup.h"

namespace platform {

// The signal's socket, readable while a signal is pending (select on it
// with the socket waited for); INVALID_SOCKET for null.
SOCKET wakeupSocket(Wakeup* wakeup);
// An event set while a signal is pending (wait on it with the port's
// overlapped read); null for null.
HANDLE wakeupEvent(Wakeup* wakeup);
// Takes the pending signal; true when there was one.
bool wakeupConsume(Wakeup* wakeup);

}  // namespace platform

#endif
