#ifndef TESTS_LINK_BYTEPIPE_H
#define TESTS_LINK_BYTEPIPE_H
// An in-process byte pipe for driving a packet link from a test: the test
// plays the module, pushing the bytes the link reads and watching the bytes
// the link writes. The link side is an aStream the link owns. A plain pipe
// stream has no wait of its own, so the link's reader thread alone reads it;
// a wakeable one waits for bytes and can be interrupted like a socket, so
// callers awaiting replies read it themselves.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "aStream.h"
#include "internal/aStreamPrivate.h"
#include "platform/wakeup.h"

class BytePipe {
 public:
  using Bytes = std::vector<uint8_t>;

  // Who reads the pipe's stream: the link's reader thread alone, or also
  // the callers awaiting replies (the stream then has a wakeable wait).
  enum class Reading { kByReader, kByCallers };
  static const char* name(Reading reading) { return reading == Reading::kByReader ? "ByReader" : "ByCallers"; }
  // A stream over this pipe; the link that takes it keeps the pipe alive.
  static aStreamRef makeStream(const std::shared_ptr<BytePipe>& pipe, Reading reading = Reading::kByReader) {
    auto* holder = new std::shared_ptr<BytePipe>(pipe);
    aStreamRef stream = aStream_Create(get, nullptr, write, destroy, holder);
    if (stream && reading == Reading::kByCallers) aStream_SetWakeableWait(stream, waitForBytes);
    return stream;
  }

  // Bytes the link will read, in order.
  void push(const Bytes& bytes) {
    std::lock_guard<std::mutex> guard(lock_);
    toLink_.insert(toLink_.end(), bytes.begin(), bytes.end());
    platform::wakeupSignal(wakeup_);
  }
  // From now on reads fail with this error (aErrNone: reads work again).
  void breakReads(aErr err) {
    std::lock_guard<std::mutex> guard(lock_);
    readError_ = err;
    platform::wakeupSignal(wakeup_);
  }
  // Everything the link has written so far.
  Bytes written() const {
    std::lock_guard<std::mutex> guard(lock_);
    return written_;
  }
  void clearWritten() {
    std::lock_guard<std::mutex> guard(lock_);
    written_.clear();
  }
  // While held, a write waits (bounded) inside the stream until released.
  void holdWrites(bool hold) {
    std::lock_guard<std::mutex> guard(lock_);
    held_ = hold;
    changed_.notify_all();
  }
  // Waits until a write is waiting in a hold.
  bool waitWriteHeld(int timeoutMs = 10000) const {
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return writersHeld_ > 0; });
  }
  // Waits until that thread waits for bytes (on a wakeable stream).
  bool waitWaiter(std::thread::id thread, int timeoutMs = 10000) const {
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return waiter_ == thread; });
  }
  bool destroyed() const {
    std::lock_guard<std::mutex> guard(lock_);
    return destroyed_;
  }
  // Waits (generously bounded) until the written bytes satisfy done.
  bool waitWritten(const std::function<bool(const Bytes&)>& done, int timeoutMs = 10000) const {
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return done(written_); });
  }
  // Waits until the written bytes contain `pattern` at or after `from`.
  bool waitContains(const Bytes& pattern, size_t from = 0, int timeoutMs = 10000) const {
    return waitWritten([&](const Bytes& w) { return find(w, pattern, from) != npos; }, timeoutMs);
  }
  bool waitDrained(int timeoutMs = 10000) const {
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return toLink_.empty(); });
  }

  static constexpr size_t npos = static_cast<size_t>(-1);
  static size_t find(const Bytes& haystack, const Bytes& pattern, size_t from = 0) {
    if (pattern.size() > haystack.size()) return npos;
    for (size_t i = from; i + pattern.size() <= haystack.size(); i++)
      if (std::equal(pattern.begin(), pattern.end(), haystack.begin() + static_cast<long>(i))) return i;
    return npos;
  }
  // Non-overlapping occurrences.
  static size_t count(const Bytes& haystack, const Bytes& pattern) {
    size_t n = 0;
    for (size_t at = find(haystack, pattern); at != npos; at = find(haystack, pattern, at + pattern.size())) n++;
    return n;
  }

 private:
  static BytePipe& of(void* ref) { return **static_cast<std::shared_ptr<BytePipe>*>(ref); }

  static aErr get(uint8_t* byte, void* ref) {
    BytePipe& pipe = of(ref);
    std::lock_guard<std::mutex> guard(pipe.lock_);
    if (pipe.readError_ != aErrNone) return pipe.readError_;
    if (pipe.toLink_.empty()) return aErrNotReady;
    *byte = pipe.toLink_.front();
    pipe.toLink_.pop_front();
    if (pipe.toLink_.empty()) pipe.changed_.notify_all();
    return aErrNone;
  }
  // Waits for bytes (or a read error) until the time is up or the wake-up
  // is signalled; pushes and broken reads signal it too.
  static aErr waitForBytes(uint32_t milliseconds, platform::Wakeup* wakeup, void* ref) {
    BytePipe& pipe = of(ref);
    {
      std::lock_guard<std::mutex> guard(pipe.lock_);
      pipe.wakeup_ = wakeup;
      pipe.waiter_ = std::this_thread::get_id();
      pipe.changed_.notify_all();
      if (!pipe.toLink_.empty() || pipe.readError_ != aErrNone) return aErrNone;
    }
    return platform::wakeupWait(wakeup, milliseconds) ? aErrNone : aErrNotReady;
  }
  static aErr write(const uint8_t* buffer, size_t count, void* ref) {
    BytePipe& pipe = of(ref);
    std::unique_lock<std::mutex> guard(pipe.lock_);
    if (pipe.held_) {
      pipe.writersHeld_++;
      pipe.changed_.notify_all();
      pipe.changed_.wait_for(guard, std::chrono::seconds(10), [&] { return !pipe.held_; });
      pipe.writersHeld_--;
    }
    pipe.written_.insert(pipe.written_.end(), buffer, buffer + count);
    pipe.changed_.notify_all();
    return aErrNone;
  }
  static aErr destroy(void* ref) {
    auto* holder = static_cast<std::shared_ptr<BytePipe>*>(ref);
    {
      std::lock_guard<std::mutex> guard((*holder)->lock_);
      (*holder)->destroyed_ = true;
      (*holder)->wakeup_ = nullptr;  // goes with the stream
      (*holder)->changed_.notify_all();
    }
    delete holder;
    return aErrNone;
  }

  mutable std::mutex lock_;
  mutable std::condition_variable changed_;
  std::deque<uint8_t> toLink_;
  Bytes written_;
  aErr readError_ = aErrNone;
  bool destroyed_ = false;
  bool held_ = false;
  int writersHeld_ = 0;
  platform::Wakeup* wakeup_ = nullptr;  // the reading side's, once it has waited
  std::thread::id waiter_;              // the thread that waited last
};

#endif
