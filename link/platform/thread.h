#ifndef KELVARION_PLATFORM_THREAD_H
#define KELVARION_PLATFORM_THREAD_H
// Threads, semaphores and thread identity. Plain mutual exclusion, condition
// variables and atomics come from the C++ standard library (std::mutex,
// std::condition_variable, std::atomic), which is portable as it is.
//
// No thread is ever ended by force: a thread is asked to stop (by a flag the
// caller owns) and every blocking call inside it is time-bounded, so
// threadWait with a generous bound followed by threadRelease is the way out.
//
// Backend contract (platform/<system>/thread.cpp): every call is thread-safe.
// threadStart, threadWait and semaphoreWait report failure instead of
// throwing; waits return Timeout at their bound (kWaitForever only where the
// caller knows the thread is ending); a Thread is freed by threadRelease only.
#include <cstdint>

namespace platform {

constexpr uint32_t kWaitForever = 0xFFFFFFFFu;

enum class WaitResult { Signaled, Timeout, Failed };

// Identity of the calling thread; never 0, unique among live threads.
using ThreadId = uint64_t;
ThreadId currentThreadId();

struct Thread;
using ThreadProc = void (*)(void* arg);
// Starts proc(arg) on a new thread; null when no thread can be had.
Thread* threadStart(ThreadProc proc, void* arg);
// Waits up to timeoutMs (kWaitForever: no bound) for the thread to end.
WaitResult threadWait(Thread* thread, uint32_t timeoutMs);
// True once proc has returned.
bool threadFinished(Thread* thread);
// Waits for the thread to end (without bound) and frees it.
void threadRelease(Thread* thread);

// Counting semaphore with a maximum count.
struct Semaphore;
Semaphore* semaphoreCreate(uint32_t initial, uint32_t maximum);
WaitResult semaphoreWait(Semaphore* semaphore, uint32_t timeoutMs);
// False when the count is already at its maximum.
bool semaphorePost(Semaphore* semaphore);
void semaphoreDestroy(Semaphore* semaphore);

}  // namespace platform

#endif
