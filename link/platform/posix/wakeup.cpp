// Wake-up signals over an eventfd counter.
#include <errno.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <new>

#include "platform/posix/wakeup_posix.h"

namespace platform {

struct Wakeup {
  int fd;
};

namespace {

// Clears the counter; true when it held a signal.
bool consume(Wakeup* wakeup) {
  uint64_t count = 0;
  ssize_t n;
  do {
    n = ::read(wakeup->fd, &count, sizeof count);
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(sizeof count) && count > 0;
}

int pollMany(struct pollfd* fds, nfds_t count, uint32_t timeoutMs) {
  int n;
  do {
    n = poll(fds, count, static_cast<int>(timeoutMs));
  } while (n < 0 && errno == EINTR);
  return n;
}

}  // namespace

Wakeup* wakeupCreate() {
  int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd < 0)
    return nullptr;
  Wakeup* wakeup = new (std::nothrow) Wakeup{fd};
  if (!wakeup)
    ::close(fd);
  return wakeup;
}

void wakeupDestroy(Wakeup* wakeup) {
  if (!wakeup)
    return;
  ::close(wakeup->fd);
  delete wakeup;
}

void wakeupSignal(Wakeup* wakeup) {
  if (!wakeup)
    return;
  const uint64_t one = 1;
  ssize_t n;
  do {
    n = ::write(wakeup->fd, &one, sizeof one);
  } while (n < 0 && errno == EINTR);
}

bool wakeupWait(Wakeup* wakeup, uint32_t timeoutMs) {
  if (!wakeup)
    return false;
  struct pollfd p = {wakeup->fd, POLLIN, 0};
  return pollMany(&p, 1, timeoutMs) > 0 && consume(wakeup);
}

bool pollReadableOrWoken(int fd, Wakeup* wakeup, uint32_t timeoutMs) {
  struct pollfd p[2] = {{fd, POLLIN, 0}, {wakeup ? wakeup->fd : -1, POLLIN, 0}};
  int n = pollMany(p, wakeup ? 2 : 1, timeoutMs);
  if (n == 0)
    return false;
  if (n > 0 && wakeup && (p[1].revents & POLLIN))
    consume(wakeup);
  return true;
}

}  // namespace platform
