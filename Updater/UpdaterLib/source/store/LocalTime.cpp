// The 24-character local time text of the store's date attributes, in the
// layout of the C library's calendar text: "Thu Mar  7 09:05:02 2024".
#include <cstdio>

#include "AttributeFile.h"
#include "aTime.h"

namespace {

// Day of the week (0 = Sunday) of a Gregorian date.
int weekday(int year, int month, int day) {
  static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 3) year -= 1;
  return (year + year / 4 - year / 100 + year / 400 + offsets[(month - 1) % 12] + day) % 7;
}

}  // namespace

std::string localTimeText() {
  static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  aCalendarTime now{};
  if (aTime_GetLocalCalendar(&now) != aErrNone || now.month < 1 || now.month > 12 || now.year < 1)
    now = aCalendarTime{1970, 1, 1, 0, 0, 0};
  char text[64];
  std::snprintf(text, sizeof text, "%.3s %.3s%3d %.2d:%.2d:%.2d %d",
                days[weekday(now.year, now.month, now.day)], months[now.month - 1], now.day, now.hour,
                now.minute, now.second, now.year);
  return text;
}
