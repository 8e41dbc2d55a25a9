// POSIX backend of the thread service: pthreads for threads, a mutex and a
// condition variable on the steady clock for semaphores and timed joins.
#include "../thread.h"

#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>

namespace platform {

ThreadId currentThreadId() { return static_cast<ThreadId>(gettid()); }

namespace {

// Waits on cv until ready() holds or timeoutMs has passed.
template <typename Pred>
bool waitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, uint32_t timeoutMs,
             Pred ready) {
  if (timeoutMs == kWaitForever) {
    cv.wait(lock, ready);
    return true;
  }
  return cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
}

}  // namespace

struct Thread {
  pthread_t handle;
  ThreadProc proc;
  void* arg;
  std::mutex lock;
  std::condition_variable ended;
  bool finished = false;
};

namespace {

void* threadEntry(void* raw) {
  Thread* thread = static_cast<Thread*>(raw);
  thread->proc(thread->arg);
  {
    std::lock_guard<std::mutex> guard(thread->lock);
    thread->finished = true;
  }
  thread->ended.notify_all();
  return nullptr;
}

}  // namespace

Thread* threadStart(ThreadProc proc, void* arg) {
  if (!proc) return nullptr;
  Thread* thread = new (std::nothrow) Thread;
  if (!thread) return nullptr;
  thread->proc = proc;
  thread->arg = arg;
  if (pthread_create(&thread->handle, nullptr, threadEntry, thread) != 0) {
    delete thread;
    return nullptr;
  }
  return thread;
}

WaitResult threadWait(Thread* thread, uint32_t timeoutMs) {
  if (!thread) return WaitResult::Failed;
  std::unique_lock<std::mutex> lock(thread->lock);
  return waitFor(thread->ended, lock, timeoutMs, [thread] { return thread->finished; })
             ? WaitResult::Signaled
             : WaitResult::Timeout;
}

bool threadFinished(Thread* thread) {
  if (!thread) return true;
  std::lock_guard<std::mutex> guard(thread->lock);
  return thread->finished;
}

void threadRelease(Thread* thread) {
  if (!thread) return;
  pthread_join(thread->handle, nullptr);
  delete thread;
}

struct Semaphore {
  std::mutex lock;
  std::condition_variable posted;
  uint32_t count;
  uint32_t maximum;
};

Semaphore* semaphoreCreate(uint32_t initial, uint32_t maximum) {
  if (maximum == 0 || initial > maximum) return nullptr;
  Semaphore* semaphore = new (std::nothrow) Semaphore;
  if (!semaphore) return nullptr;
  semaphore->count = initial;
  semaphore->maximum = maximum;
  return semaphore;
}

WaitResult semaphoreWait(Semaphore* semaphore, uint32_t timeoutMs) {
  if (!semaphore) return WaitResult::Failed;
  std::unique_lock<std::mutex> lock(semaphore->lock);
  if (!waitFor(semaphore->posted, lock, timeoutMs, [semaphore] { return semaphore->count > 0; }))
    return WaitResult::Timeout;
  --semaphore->count;
  return WaitResult::Signaled;
}

bool semaphorePost(Semaphore* semaphore) {
  if (!semaphore) return false;
  {
    std::lock_guard<std::mutex> guard(semaphore->lock);
    if (semaphore->count >= semaphore->maximum) return false;
    ++semaphore->count;
  }
  semaphore->posted.notify_one();
  return true;
}

void semaphoreDestroy(Semaphore* semaphore) { delete semaphore; }

}  // namespace platform
