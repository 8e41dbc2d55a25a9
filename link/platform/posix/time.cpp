// POSIX backend of the time service.
#include "../time.h"

#include <errno.h>
#include <time.h>

namespace platform {

namespace {

// Sleeps the whole of wait, resuming after signals.
void sleepFor(struct timespec wait) {
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

}  // namespace

uint64_t monotonicMicroseconds() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

uint64_t monotonicMilliseconds() { return monotonicMicroseconds() / 1000u; }

void sleepMilliseconds(uint32_t ms) {
  struct timespec wait;
  wait.tv_sec = ms / 1000u;
  wait.tv_nsec = static_cast<long>(ms % 1000u) * 1000000L;
  sleepFor(wait);
}

void sleepMicroseconds(uint32_t us) {
  struct timespec wait;
  wait.tv_sec = us / 1000000u;
  wait.tv_nsec = static_cast<long>(us % 1000000u) * 1000L;
  sleepFor(wait);
}

bool localCalendarTime(CalendarTime* out) {
  time_t now = time(nullptr);
  struct tm local;
  if (localtime_r(&now, &local) == nullptr) return false;
  out->year = local.tm_year + 1900;
  out->month = local.tm_mon + 1;
  out->day = local.tm_mday;
  out->hour = local.tm_hour;
  out->minute = local.tm_min;
  out->second = local.tm_sec;
  return true;
}

}  // namespace platform
