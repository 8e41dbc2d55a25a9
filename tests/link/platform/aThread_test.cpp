// The public worker thread and local calendar time a program gets from the
// library.
#include <gtest/gtest.h>

#include <atomic>

#include "aThread.h"
#include "aTime.h"

namespace {

struct Gate {
  std::atomic<bool> open{false};
  std::atomic<bool> ran{false};
};

void waitAtGate(void* ref) {
  Gate* gate = static_cast<Gate*>(ref);
  while (!gate->open) aTime_MSSleep(1);
  gate->ran = true;
}

}  // namespace

TEST(aThread, AwaitIsBoundedUntilTheFunctionReturns) {
  Gate gate;
  aThreadRef thread = aThread_Start(waitAtGate, &gate);
  ASSERT_NE(nullptr, thread);
  EXPECT_EQ(aErrTimeout, aThread_Await(thread, 20));
  gate.open = true;
  EXPECT_EQ(aErrNone, aThread_Await(thread, 60000));
  EXPECT_TRUE(gate.ran);
  EXPECT_EQ(aErrNone, aThread_Destroy(&thread));
  EXPECT_EQ(nullptr, thread);
}

TEST(aThread, BadArguments) {
  EXPECT_EQ(nullptr, aThread_Start(nullptr, nullptr));
  EXPECT_EQ(aErrParam, aThread_Await(nullptr, 0));
  aThreadRef none = nullptr;
  EXPECT_EQ(aErrParam, aThread_Destroy(&none));
  EXPECT_EQ(aErrParam, aThread_Destroy(nullptr));
}

TEST(aTime, LocalCalendarFieldsAreInRange) {
  EXPECT_EQ(aErrParam, aTime_GetLocalCalendar(nullptr));
  aCalendarTime now{};
  ASSERT_EQ(aErrNone, aTime_GetLocalCalendar(&now));
  EXPECT_GE(now.year, 2020);
  EXPECT_TRUE(now.month >= 1 && now.month <= 12);
  EXPECT_TRUE(now.day >= 1 && now.day <= 31);
  EXPECT_TRUE(now.hour >= 0 && now.hour <= 23);
  EXPECT_TRUE(now.minute >= 0 && now.minute <= 59);
  EXPECT_TRUE(now.second >= 0 && now.second <= 60);
}
