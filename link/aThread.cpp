// Worker threads for programs built on the library, over the platform's threads.
#include "aThread.h"

#include <new>

#include "platform/thread.h"

namespace {
const uint16_t kThreadCheck = 0xDEAF;
}

struct aThread {
  uint16_t check = kThreadCheck;
  platform::Thread* thread = nullptr;
};

aThreadRef aThread_Start(aThreadProc proc, void* ref) {
  if (!proc) return nullptr;
  aThread* record = new (std::nothrow) aThread;
  if (!record) return nullptr;
  record->thread = platform::threadStart(proc, ref);
  if (!record->thread) {
    delete record;
    return nullptr;
  }
  return record;
}

aErr aThread_Await(aThreadRef thread, uint32_t ms) {
  if (!thread || thread->check != kThreadCheck) return aErrParam;
  switch (platform::threadWait(thread->thread, ms)) {
    case platform::WaitResult::Signaled: return aErrNone;
    case platform::WaitResult::Timeout: return aErrTimeout;
    default: return aErrIO;
  }
}

aErr aThread_Destroy(aThreadRef* thread) {
  if (!thread || !*thread || (*thread)->check != kThreadCheck) return aErrParam;
  // Release waits for the end: the function must return for this to return.
  platform::threadRelease((*thread)->thread);
  (*thread)->check = 0;
  delete *thread;
  *thread = nullptr;
  return aErrNone;
}
