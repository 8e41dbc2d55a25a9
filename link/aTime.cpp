// Millisecond clock and sleep.
#include "aTime.h"

#include "platform/time.h"

uint32_t aTime_GetMSTicks(void) {
  return static_cast<uint32_t>(platform::monotonicMilliseconds());
}

aErr aTime_MSSleep(uint32_t ms) {
  if (ms) platform::sleepMilliseconds(ms);
  return aErrNone;
}

uint64_t aTime_GetUSTicks(void) { return platform::monotonicMicroseconds(); }

aErr aTime_USSleep(uint32_t us) {
  if (us) platform::sleepMicroseconds(us);
  return aErrNone;
}

aErr aTime_GetLocalCalendar(aCalendarTime* now) {
  if (!now) return aErrParam;
  platform::CalendarTime local{};
  if (!platform::localCalendarTime(&local)) return aErrIO;
  *now = aCalendarTime{local.year, local.month, local.day, local.hour, local.minute, local.second};
  return aErrNone;
}
