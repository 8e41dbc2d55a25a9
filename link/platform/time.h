#ifndef KELVARION_PLATFORM_TIME_H
#define KELVARION_PLATFORM_TIME_H
// Clocks and sleeping.
//
// Backend contract (platform/<system>/time.cpp): thread-safe, never fail
// except localCalendarTime (false when the system cannot give the local
// time). The monotonic clock does not follow changes to the wall clock;
// sleepMilliseconds sleeps at least ms and resumes after an interruption
// until the time is spent.
#include <cstdint>

namespace platform {

// Milliseconds of a steady clock from an arbitrary origin; never goes back.
uint64_t monotonicMilliseconds();
void sleepMilliseconds(uint32_t ms);
// The same steady clock in microseconds, and a sleep of at least us
// microseconds (a backend whose sleep counts milliseconds rounds up).
uint64_t monotonicMicroseconds();
void sleepMicroseconds(uint32_t us);

// Local calendar time, for dates written into the store.
struct CalendarTime {
  int year;    // e.g. 2024
  int month;   // 1-12
  int day;     // 1-31
  int hour;    // 0-23
  int minute;  // 0-59
  int second;  // 0-60
};
bool localCalendarTime(CalendarTime* out);

}  // namespace platform

#endif
