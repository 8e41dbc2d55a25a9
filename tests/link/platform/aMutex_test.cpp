#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "aMutex.h"
#include "platform/thread.h"
#include "platform/time.h"

namespace {

const uint32_t kGenerous = 30000;  // ms; only reached when something is broken

// Runs fn on another thread and waits for it.
template <typename Fn>
void onOtherThread(Fn fn) {
  struct Call {
    static void run(void* arg) { (*static_cast<Fn*>(arg))(); }
  };
  platform::Thread* thread = platform::threadStart(&Call::run, &fn);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(platform::threadWait(thread, kGenerous), platform::WaitResult::Signaled);
  platform::threadRelease(thread);
}

}  // namespace

TEST(aMutex, NamesAreBounded) {
  aMutexRef unnamed = aMutex_Create(nullptr);
  ASSERT_NE(unnamed, nullptr);
  EXPECT_STREQ(aMutex_Identifier(unnamed), "");
  aMutexRef longest = aMutex_Create(std::string(255, 'n').c_str());
  ASSERT_NE(longest, nullptr);
  EXPECT_EQ(std::string(aMutex_Identifier(longest)), std::string(255, 'n'));
  EXPECT_EQ(aMutex_Create(std::string(256, 'n').c_str()), nullptr);
  EXPECT_EQ(aMutex_Destroy(&unnamed), aErrNone);
  EXPECT_EQ(unnamed, nullptr);
  EXPECT_EQ(aMutex_Destroy(&longest), aErrNone);
  EXPECT_EQ(aMutex_Destroy(&longest), aErrParam);
  EXPECT_EQ(aMutex_Lock(nullptr), aErrParam);
  EXPECT_EQ(aMutex_TryLock(nullptr), aErrParam);
  EXPECT_EQ(aMutex_Unlock(nullptr), aErrParam);
}

TEST(aMutex, OwnershipRules) {
  aMutexRef mutex = aMutex_Create("owned");
  EXPECT_EQ(aMutex_Unlock(mutex), aErrNone);  // free: nothing to do
  EXPECT_EQ(aMutex_Lock(mutex), aErrNone);
  EXPECT_EQ(aMutex_Lock(mutex), aErrDuplicate);  // not recursive
  onOtherThread([&] {
    EXPECT_EQ(aMutex_Unlock(mutex), aErrPermission);
    EXPECT_EQ(aMutex_TryLock(mutex), aErrBusy);
  });
  EXPECT_EQ(aMutex_Destroy(&mutex), aErrBusy);  // held: left alive for its holder
  ASSERT_NE(mutex, nullptr);
  EXPECT_EQ(aMutex_Unlock(mutex), aErrNone);
  EXPECT_EQ(aMutex_Unlock(mutex), aErrNone);
  onOtherThread([&] {
    EXPECT_EQ(aMutex_Lock(mutex), aErrNone);
    EXPECT_EQ(aMutex_Lock(mutex), aErrDuplicate);
    EXPECT_EQ(aMutex_Unlock(mutex), aErrNone);
  });
  EXPECT_EQ(aMutex_Destroy(&mutex), aErrNone);
}

TEST(aMutex, TryLockTakesAFreeLock) {
  aMutexRef mutex = aMutex_Create("try");
  EXPECT_EQ(aMutex_TryLock(mutex), aErrNone);
  EXPECT_EQ(aMutex_TryLock(mutex), aErrBusy);
  EXPECT_EQ(aMutex_Lock(mutex), aErrDuplicate);
  EXPECT_EQ(aMutex_Unlock(mutex), aErrNone);
  EXPECT_EQ(aMutex_TryLock(mutex), aErrNone);
  EXPECT_EQ(aMutex_Unlock(mutex), aErrNone);
  EXPECT_EQ(aMutex_Destroy(&mutex), aErrNone);
}

TEST(aMutex, AWaiterRunsOnlyAfterTheOwnerUnlocks) {
  aMutexRef mutex = aMutex_Create("handover");
  ASSERT_EQ(aMutex_Lock(mutex), aErrNone);
  struct Waiter {
    aMutexRef mutex;
    std::atomic<bool> holding{false};
    aErr result = aErrUnknown;
    platform::Semaphore* release;
  } waiter;
  waiter.mutex = mutex;
  waiter.release = platform::semaphoreCreate(0, 1);
  platform::Thread* thread = platform::threadStart(
      [](void* arg) {
        Waiter* w = static_cast<Waiter*>(arg);
        w->result = aMutex_Lock(w->mutex);
        w->holding = true;
        platform::semaphoreWait(w->release, kGenerous);
        aMutex_Unlock(w->mutex);
      },
      &waiter);
  ASSERT_NE(thread, nullptr);
  // While the lock is held the waiter cannot get through.
  EXPECT_EQ(platform::threadWait(thread, 100), platform::WaitResult::Timeout);
  EXPECT_FALSE(waiter.holding);
  EXPECT_EQ(aMutex_Unlock(mutex), aErrNone);
  // Now it holds the lock, so this thread cannot take it.
  for (uint32_t waited = 0; !waiter.holding && waited < kGenerous; waited += 5)
    platform::sleepMilliseconds(5);
  ASSERT_TRUE(waiter.holding);
  EXPECT_EQ(aMutex_TryLock(mutex), aErrBusy);
  platform::semaphorePost(waiter.release);
  ASSERT_EQ(platform::threadWait(thread, kGenerous), platform::WaitResult::Signaled);
  platform::threadRelease(thread);
  EXPECT_EQ(waiter.result, aErrNone);
  EXPECT_EQ(aMutex_TryLock(mutex), aErrNone);
  EXPECT_EQ(aMutex_Unlock(mutex), aErrNone);
  platform::semaphoreDestroy(waiter.release);
  EXPECT_EQ(aMutex_Destroy(&mutex), aErrNone);
}

TEST(aMutex, ExcludesUnderContention) {
  struct Shared {
    aMutexRef mutex;
    long counter = 0;  // deliberately plain: only the lock protects it
    std::atomic<int> failures{0};
  } shared;
  shared.mutex = aMutex_Create("counter");
  const int kThreads = 4;
  const int kRounds = 2000;
  platform::Thread* threads[kThreads];
  for (auto& thread : threads) {
    thread = platform::threadStart(
        [](void* arg) {
          Shared* s = static_cast<Shared*>(arg);
          for (int i = 0; i < kRounds; ++i) {
            if (aMutex_Lock(s->mutex) != aErrNone) ++s->failures;
            ++s->counter;
            if (aMutex_Unlock(s->mutex) != aErrNone) ++s->failures;
          }
        },
        &shared);
    ASSERT_NE(thread, nullptr);
  }
  for (auto& thread : threads) {
    ASSERT_EQ(platform::threadWait(thread, 120000), platform::WaitResult::Signaled);
    platform::threadRelease(thread);
  }
  EXPECT_EQ(shared.failures, 0);
  EXPECT_EQ(shared.counter, long(kThreads) * kRounds);
  EXPECT_EQ(aMutex_Destroy(&shared.mutex), aErrNone);
}
