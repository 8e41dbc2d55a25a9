#include <gtest/gtest.h>

#include <atomic>

#include "platform/thread.h"
#include "platform/time.h"
#include "aTime.h"

TEST(PlatformThread, WaitIsBoundedAndReleaseJoins) {
  platform::Semaphore* gate = platform::semaphoreCreate(0, 1);
  ASSERT_NE(gate, nullptr);
  platform::Thread* thread = platform::threadStart(
      [](void* arg) { platform::semaphoreWait(static_cast<platform::Semaphore*>(arg), 60000); }, gate);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(platform::threadWait(thread, 20), platform::WaitResult::Timeout);
  EXPECT_FALSE(platform::threadFinished(thread));
  EXPECT_TRUE(platform::semaphorePost(gate));
  EXPECT_EQ(platform::threadWait(thread, 60000), platform::WaitResult::Signaled);
  EXPECT_TRUE(platform::threadFinished(thread));
  platform::threadRelease(thread);
  platform::semaphoreDestroy(gate);
  EXPECT_EQ(platform::threadStart(nullptr, nullptr), nullptr);
}

TEST(PlatformThread, SemaphoreCountsUpToItsMaximum) {
  platform::Semaphore* semaphore = platform::semaphoreCreate(1, 2);
  ASSERT_NE(semaphore, nullptr);
  EXPECT_TRUE(platform::semaphorePost(semaphore));
  EXPECT_FALSE(platform::semaphorePost(semaphore));  // at its maximum
  EXPECT_EQ(platform::semaphoreWait(semaphore, 0), platform::WaitResult::Signaled);
  EXPECT_EQ(platform::semaphoreWait(semaphore, 0), platform::WaitResult::Signaled);
  uint32_t before = aTime_GetMSTicks();
  EXPECT_EQ(platform::semaphoreWait(semaphore, 30), platform::WaitResult::Timeout);
  EXPECT_GE(uint32_t(aTime_GetMSTicks() - before), 29u);  // the bound was waited out
  platform::semaphoreDestroy(semaphore);
  EXPECT_EQ(platform::semaphoreCreate(2, 1), nullptr);
}

TEST(PlatformThread, ThreadIdentities) {
  std::atomic<platform::ThreadId> other{0};
  platform::Thread* thread = platform::threadStart(
      [](void* arg) {
        static_cast<std::atomic<platform::ThreadId>*>(arg)->store(platform::currentThreadId());
      },
      &other);
  ASSERT_NE(thread, nullptr);
  platform::threadRelease(thread);
  EXPECT_NE(platform::currentThreadId(), 0u);
  EXPECT_NE(other.load(), 0u);
  EXPECT_NE(other.load(), platform::currentThreadId());
}

TEST(aTime, SleepWaitsAtLeastTheGivenTime) {
  uint32_t before = aTime_GetMSTicks();
  EXPECT_EQ(aTime_MSSleep(20), aErrNone);
  EXPECT_GE(uint32_t(aTime_GetMSTicks() - before), 20u);
  EXPECT_EQ(aTime_MSSleep(0), aErrNone);
}
