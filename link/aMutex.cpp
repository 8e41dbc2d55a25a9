// A non-recursive lock with an owner. The count holds the number of holders
// plus waiters and is changed only atomically; waiters block on a semaphore
// (initial count 0, maximum 1) that an unlocking owner releases once.
#include "aMutex.h"

#include <string.h>

#include <atomic>
#include <new>

#include "platform/thread.h"

struct aMutex {
  std::atomic<int32_t> count{0};
  platform::Semaphore* waiters = nullptr;
  std::atomic<platform::ThreadId> owner{0};
  char name[256];
};

aMutexRef aMutex_Create(const char* name) {
  if (!name) name = "";
  size_t length = strlen(name);
  if (length >= sizeof(aMutex::name)) return nullptr;
  aMutex* mutex = new (std::nothrow) aMutex;
  if (!mutex) return nullptr;
  mutex->waiters = platform::semaphoreCreate(0, 1);
  if (!mutex->waiters) {
    delete mutex;
    return nullptr;
  }
  memcpy(mutex->name, name, length + 1);
  return mutex;
}

const char* aMutex_Identifier(aMutexRef mutex) { return mutex ? mutex->name : nullptr; }

aErr aMutex_Lock(aMutexRef mutex) {
  if (!mutex) return aErrParam;
  const platform::ThreadId self = platform::currentThreadId();
  if (mutex->owner.load() == self) return aErrDuplicate;
  if (mutex->count.fetch_add(1) + 1 > 1) {
    switch (platform::semaphoreWait(mutex->waiters, platform::kWaitForever)) {
      case platform::WaitResult::Signaled: break;
      case platform::WaitResult::Timeout: return aErrResource;
      default: return aErrUnknown;
    }
  }
  mutex->owner.store(self);
  return aErrNone;
}

aErr aMutex_TryLock(aMutexRef mutex) {
  if (!mutex) return aErrParam;
  int32_t expected = 0;
  if (!mutex->count.compare_exchange_strong(expected, 1)) return aErrBusy;
  mutex->owner.store(platform::currentThreadId());
  return aErrNone;
}

aErr aMutex_Unlock(aMutexRef mutex) {
  if (!mutex) return aErrParam;
  if (mutex->count.load() == 0) return aErrNone;
  const platform::ThreadId self = platform::currentThreadId();
  if (mutex->owner.load() != self) return aErrPermission;
  aErr result = aErrNone;
  if (mutex->count.fetch_sub(1) - 1 > 0) {
    if (!platform::semaphorePost(mutex->waiters)) result = aErrUnknown;
  }
  // A waiter woken above may already have made itself the owner.
  platform::ThreadId expected = self;
  mutex->owner.compare_exchange_strong(expected, 0);
  return result;
}

aErr aMutex_Destroy(aMutexRef* ref) {
  if (!ref || !*ref) return aErrParam;
  aMutex* mutex = *ref;
  int32_t expected = 0;
  if (!mutex->count.compare_exchange_strong(expected, 1)) {
    // Still held (or waited on): freeing it now would pull the record from
    // under its holder, so it is left alive and the caller keeps its reference.
    return aErrBusy;
  }
  platform::semaphoreDestroy(mutex->waiters);
  delete mutex;
  *ref = nullptr;
  return aErrNone;
}
