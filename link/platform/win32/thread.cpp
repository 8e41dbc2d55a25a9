// Windows backend of the thread service: threads of the C run-time library
// (so its per-thread state is set up) and kernel semaphores.
#include "../thread.h"

#include <process.h>
#include <windows.h>

#include <atomic>
#include <new>

namespace platform {

ThreadId currentThreadId() { return static_cast<ThreadId>(GetCurrentThreadId()); }

namespace {

WaitResult waitHandle(HANDLE handle, uint32_t timeoutMs) {
  switch (WaitForSingleObject(handle, timeoutMs == kWaitForever ? INFINITE : timeoutMs)) {
    case WAIT_OBJECT_0: return WaitResult::Signaled;
    case WAIT_TIMEOUT: return WaitResult::Timeout;
    default: return WaitResult::Failed;
  }
}

}  // namespace

struct Thread {
  HANDLE handle;
  ThreadProc proc;
  void* arg;
  std::atomic<bool> finished{false};
};

namespace {

unsigned __stdcall threadEntry(void* raw) {
  Thread* thread = static_cast<Thread*>(raw);
  thread->proc(thread->arg);
  thread->finished.store(true);
  return 0;
}

}  // namespace

Thread* threadStart(ThreadProc proc, void* arg) {
  if (!proc) return nullptr;
  Thread* thread = new (std::nothrow) Thread;
  if (!thread) return nullptr;
  thread->proc = proc;
  thread->arg = arg;
  uintptr_t handle = _beginthreadex(nullptr, 0, threadEntry, thread, 0, nullptr);
  if (handle == 0) {
    delete thread;
    return nullptr;
  }
  thread->handle = reinterpret_cast<HANDLE>(handle);
  return thread;
}

WaitResult threadWait(Thread* thread, uint32_t timeoutMs) {
  if (!thread) return WaitResult::Failed;
  return waitHandle(thread->handle, timeoutMs);
}

bool threadFinished(Thread* thread) {
  if (!thread) return true;
  return thread->finished.load();
}

void threadRelease(Thread* thread) {
  if (!thread) return;
  WaitForSingleObject(thread->handle, INFINITE);
  CloseHandle(thread->handle);
  delete thread;
}

struct Semaphore {
  HANDLE handle;
};

Semaphore* semaphoreCreate(uint32_t initial, uint32_t maximum) {
  if (maximum == 0 || initial > maximum || maximum > 0x7FFFFFFFu) return nullptr;
  HANDLE handle = CreateSemaphoreW(nullptr, static_cast<LONG>(initial), static_cast<LONG>(maximum), nullptr);
  if (!handle) return nullptr;
  Semaphore* semaphore = new (std::nothrow) Semaphore{handle};
  if (!semaphore) CloseHandle(handle);
  return semaphore;
}

WaitResult semaphoreWait(Semaphore* semaphore, uint32_t timeoutMs) {
  if (!semaphore) return WaitResult::Failed;
  return waitHandle(semaphore->handle, timeoutMs);
}

bool semaphorePost(Semaphore* semaphore) {
  // Fails (and changes nothing) when the count would pass its maximum.
  return semaphore && ReleaseSemaphore(semaphore->handle, 1, nullptr) != 0;
}

void semaphoreDestroy(Semaphore* semaphore) {
  if (!semaphore) return;
  CloseHandle(semaphore->handle);
  delete semaphore;
}

}  // namespace platform
