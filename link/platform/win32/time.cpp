// Windows backend of the time service.
#include "../time.h"

#include <windows.h>

namespace platform {

namespace {

// The performance counter in units per second (1000: milliseconds), or the
// tick count when the system has no counter.
uint64_t counterIn(uint64_t unitsPerSecond) {
  static const LONGLONG frequency = [] {
    LARGE_INTEGER f;
    return QueryPerformanceFrequency(&f) && f.QuadPart > 0 ? f.QuadPart : 0;
  }();
  if (frequency == 0) return GetTickCount64() * (unitsPerSecond / 1000u);
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  // Whole seconds and the remainder apart, so the product cannot overflow.
  const uint64_t ticks = static_cast<uint64_t>(now.QuadPart);
  const uint64_t f = static_cast<uint64_t>(frequency);
  return ticks / f * unitsPerSecond + ticks % f * unitsPerSecond / f;
}

}  // namespace

uint64_t monotonicMilliseconds() { return counterIn(1000u); }

void sleepMilliseconds(uint32_t ms) { Sleep(ms); }

uint64_t monotonicMicroseconds() { return counterIn(1000000u); }

void sleepMicroseconds(uint32_t us) { Sleep(us / 1000u + (us % 1000u != 0 ? 1u : 0u)); }

bool localCalendarTime(CalendarTime* out) {
  SYSTEMTIME local;
  GetLocalTime(&local);
  out->year = local.wYear;
  out->month = local.wMonth;
  out->day = local.wDay;
  out->hour = local.wHour;
  out->minute = local.wMinute;
  out->second = local.wSecond;
  return true;
}

}  // namespace platform
