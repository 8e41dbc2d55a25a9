// The library's clocks and sleeps: the microsecond clock is the millisecond
// clock's finer reading, never goes back, and a sleep lasts at least its time.
#include <gtest/gtest.h>

#include "aTime.h"

namespace {

TEST(aTime, MicrosecondClockNeverGoesBack) {
  uint64_t previous = aTime_GetUSTicks();
  for (int i = 0; i < 100000; ++i) {
    const uint64_t now = aTime_GetUSTicks();
    ASSERT_GE(now, previous) << "read " << i;
    previous = now;
  }
}

TEST(aTime, SleepsLastAtLeastTheirTimeOnBothClocks) {
  EXPECT_EQ(aErrNone, aTime_USSleep(0));
  EXPECT_EQ(aErrNone, aTime_MSSleep(0));

  uint64_t before = aTime_GetUSTicks();
  uint32_t beforeMs = aTime_GetMSTicks();
  EXPECT_EQ(aErrNone, aTime_USSleep(2500));
  EXPECT_GE(aTime_GetUSTicks() - before, 2500u);
  // The two clocks count the same time: 2.5 ms cover at least two millisecond steps.
  EXPECT_GE(aTime_GetMSTicks() - beforeMs, 2u);

  before = aTime_GetUSTicks();
  EXPECT_EQ(aErrNone, aTime_MSSleep(3));
  EXPECT_GE(aTime_GetUSTicks() - before, 3000u);

  // A sleep shorter than a millisecond still sleeps (and returns).
  before = aTime_GetUSTicks();
  EXPECT_EQ(aErrNone, aTime_USSleep(1));
  EXPECT_GE(aTime_GetUSTicks() - before, 1u);
}

}  // namespace
