#ifndef KELVARION_ATIME_H
#define KELVARION_ATIME_H
/* Millisecond clock and sleep. */
#include "aError.h"

/* A local calendar date and time. */
typedef struct aCalendarTime {
  int year;   /* e.g. 2024 */
  int month;  /* 1-12 */
  int day;    /* 1-31 */
  int hour;   /* 0-23 */
  int minute; /* 0-59 */
  int second; /* 0-60 */
} aCalendarTime;

KLV_EXTERN_C_BEGIN
/* Milliseconds from an arbitrary origin; wraps at 32 bits. */
KLV_EXPORT uint32_t aTime_GetMSTicks(void);
/* Sleeps ms milliseconds (nothing for 0). */
KLV_EXPORT aErr aTime_MSSleep(uint32_t ms);
/* Microseconds of the same steady clock from an arbitrary origin; never goes
 * back and does not wrap in practice (64 bits). */
KLV_EXPORT uint64_t aTime_GetUSTicks(void);
/* Sleeps at least us microseconds (nothing for 0); where the system's sleep
 * counts milliseconds it is rounded up to whole milliseconds. */
KLV_EXPORT aErr aTime_USSleep(uint32_t us);
/* The local calendar time now; aErrParam for a null record, aErrIO when the
 * system cannot tell it. */
KLV_EXPORT aErr aTime_GetLocalCalendar(aCalendarTime* now);
KLV_EXTERN_C_END

#endif
