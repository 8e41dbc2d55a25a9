// Windows backend of the time service.
#include "../time.h"

#include <windows.h>

namespace platform {

uint64_t monotonicMilliseconds() {
  static const LONGLONG frequency = [] {
    LARGE_INTEGER f;
    return QueryPerformanceFrequency(&f) && f.QuadPart > 0 ? f.QuadPart : 0;
  }();
  if (frequency == 0) return GetTickCount64();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  // Whole seconds and the remainder apart, so the product cannot overflow.
  const uint64_t ticks = static_cast<uint64_t>(now.QuadPart);
  const uint64_t f = static_cast<uint64_t>(frequency);
  return ticks / f * 1000u + ticks % f * 1000u / f;
}

void sleepMilliseconds(uint32_t ms) { Sleep(ms); }

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
