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
