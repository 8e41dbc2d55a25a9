// Packet FIFOs: a process-wide registry of queues named by 64-bit
// references, each a linked list of packet copies guarded by its own lock,
// with a condition variable on which readers wait.
#include "aPacketFifo.h"
#include "internal/aPacketFifoWait.h"
#include "internal/aReplySpin.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>
#include <unordered_map>

namespace {

const uint16_t kFifoCheck = 0xFEED;

using Clock = std::chrono::steady_clock;
using klv_link::kReplySpinMaxUs;
using klv_link::nextReplySpin;

struct Entry {
  aPacket packet;
  uint8_t budget;
  Entry* next;
};

struct Fifo {
  uint16_t check = kFifoCheck;
  std::mutex lock;
  std::condition_variable ready;
  Entry* head = nullptr;
  Entry* tail = nullptr;
  int32_t count = 0;  // -1 once the FIFO is being destroyed
  // Moves on with every put and with destruction (changed under the lock),
  // so that a caller polling the FIFO need not take the lock to see that
  // nothing has changed.
  std::atomic<uint32_t> changes{0};
  // How long a caller awaiting a reply polls before it sleeps (aReplySpin.h).
  std::atomic<uint32_t> replySpinUs{kReplySpinMaxUs};
  int32_t claimers = 0;  // callers inside a filtered wait (under the lock)
  // The registry's reference plus one per caller inside an operation; the
  // record is freed by whoever drops the last one, so callers still waiting
  // when the FIFO is destroyed wake up on a live record.
  std::atomic<int32_t> users{1};
};

struct Registry {
  std::mutex lock;
  std::unordered_map<aPacketFifoRef, Fifo*> fifos;
  aPacketFifoRef next = 1;
};

// Made on first use and never freed: FIFOs may be used by threads that run
// until the process ends.
Registry& registry() {
  static Registry* instance = new Registry;
  return *instance;
}

void freeEntries(Entry* entry) {
  while (entry) {
    Entry* next = entry->next;
    free(entry);
    entry = next;
  }
}

// Holds a FIFO found in the registry for the length of one operation.
class FifoUse {
 public:
  explicit FifoUse(aPacketFifoRef ref) {
    Registry& reg = registry();
    std::lock_guard<std::mutex> guard(reg.lock);
    auto it = reg.fifos.find(ref);
    if (it != reg.fifos.end() && it->second->check == kFifoCheck) {
      fifo_ = it->second;
      fifo_->users.fetch_add(1);
    }
  }
  ~FifoUse() {
    if (fifo_) release(fifo_);
  }
  FifoUse(const FifoUse&) = delete;
  FifoUse& operator=(const FifoUse&) = delete;

  Fifo* get() const { return fifo_; }

  static void release(Fifo* fifo) {
    if (fifo->users.fetch_sub(1) == 1) {
      fifo->check = 0;
      delete fifo;
    }
  }

 private:
  Fifo* fifo_ = nullptr;
};

// Unlinks `entry`, whose predecessor is `prev` (null at the head).
void unlink(Fifo* fifo, Entry* prev, Entry* entry) {
  if (prev)
    prev->next = entry->next;
  else
    fifo->head = entry->next;
  if (fifo->tail == entry) fifo->tail = prev;
  entry->next = nullptr;
  fifo->count--;
}

Entry* popHead(Fifo* fifo) {
  Entry* entry = fifo->head;
  if (entry) unlink(fifo, nullptr, entry);
  return entry;
}

// Copies a taken entry into a new packet and frees the entry. Null (and the
// packet lost) only when memory is short.
aPacket* handOut(Entry* entry) {
  if (!entry) return nullptr;
  aPacket* packet = aPacket_Copy(&entry->packet);
  free(entry);
  return packet;
}

// One filtered search pass from the head, with the FIFO's lock held. Each
// entry passed over loses one unit of its skip budget; an entry whose budget
// is spent is dropped and ends the pass without a result.
Entry* searchPass(Fifo* fifo, aPacketMatchProc match, const void* matchRef) {
  Entry* prev = nullptr;
  for (Entry* entry = fifo->head; entry; prev = entry, entry = entry->next) {
    if (match(&entry->packet, matchRef)) {
      unlink(fifo, prev, entry);
      return entry;
    }
    if (entry->budget == 0) {
      unlink(fifo, prev, entry);
      free(entry);
      return nullptr;
    }
    entry->budget--;
  }
  return nullptr;
}

int64_t msUntil(Clock::time_point deadline) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
}

// Polls the FIFO's change count until it moves on from `seen` or `until`
// has passed; true when it moved. Between looks the core is offered to any
// other thread ready to run on it: the peer or the link's reader, woken by
// this very exchange, may have been placed there.
bool pollForChange(Fifo* fifo, uint32_t seen, Clock::time_point until) {
  while (fifo->changes.load(std::memory_order_acquire) == seen) {
    if (Clock::now() >= until) return false;
    std::this_thread::yield();
  }
  return true;
}

// Search passes follow each other without a pause while packets are queued,
// so that unwanted packets age out quickly; while there is nothing to look
// at the caller polls the FIFO until `spinUntil`, then sleeps on it until a
// put, the deadline or the FIFO's destruction. A caller that waits beside
// other claimers, or whose wait is made of several (`passes`), does not pass
// again over packets it has already passed over: they may be another
// caller's, whose budget quick passes would spend before it has had a look;
// it looks again when a packet comes.
// `passes` carries where the caller's passes stand from one of its waits to
// the next (null: this wait alone).
Entry* awaitFirst(Fifo* fifo, aPacketMatchProc match, const void* matchRef, Clock::time_point deadline,
                  Clock::time_point spinUntil, aPacketFifoPasses* passes) {
  const Clock::time_point spinEnd = std::min(spinUntil, deadline);
  std::unique_lock<std::mutex> guard(fifo->lock);
  fifo->claimers++;
  aPacketFifoPasses own;
  bool& passedOver = (passes ? passes : &own)->passedOver;  // the queued packets, as of change `passedAt`
  uint32_t& passedAt = (passes ? passes : &own)->passedAt;
  auto somethingToLookAt = [&] {
    return fifo->count < 0 ||
           (fifo->count > 0 && !(passedOver && fifo->changes.load(std::memory_order_relaxed) == passedAt));
  };
  Entry* entry = nullptr;
  for (;;) {
    if (!somethingToLookAt()) {
      const Clock::time_point now = Clock::now();
      if (now < spinEnd) {
        const uint32_t seen = fifo->changes.load(std::memory_order_relaxed);
        guard.unlock();
        pollForChange(fifo, seen, spinEnd);
        guard.lock();
        continue;
      }
      // A wait whose time is up would still sleep for the timer's slack.
      if (now >= deadline) break;
      fifo->ready.wait_until(guard, deadline, somethingToLookAt);
      if (!somethingToLookAt()) break;
    }
    if (fifo->count < 0) break;
    entry = searchPass(fifo, match, matchRef);
    if (entry || msUntil(deadline) < 0) break;
    passedOver = passes || fifo->claimers > 1;
    passedAt = fifo->changes.load(std::memory_order_relaxed);
  }
  fifo->claimers--;
  return entry;
}

}  // namespace

aPacketFifoRef aPacketFifo_Create(void) {
  Fifo* fifo = new (std::nothrow) Fifo;
  if (!fifo) return 0;
  Registry& reg = registry();
  std::lock_guard<std::mutex> guard(reg.lock);
  aPacketFifoRef ref = reg.next++;
  reg.fifos[ref] = fifo;
  return ref;
}

aErr aPacketFifo_Destroy(aPacketFifoRef* ref) {
  if (!ref) return aErrParam;
  Fifo* fifo = nullptr;
  {
    Registry& reg = registry();
    std::lock_guard<std::mutex> guard(reg.lock);
    auto it = reg.fifos.find(*ref);
    if (it == reg.fifos.end()) return aErrNotFound;
    fifo = it->second;
    reg.fifos.erase(it);
  }
  Entry* entries = nullptr;
  {
    std::lock_guard<std::mutex> guard(fifo->lock);
    entries = fifo->head;
    fifo->head = fifo->tail = nullptr;
    fifo->count = -1;
    fifo->changes.fetch_add(1, std::memory_order_release);
    fifo->ready.notify_all();
  }
  freeEntries(entries);
  FifoUse::release(fifo);
  *ref = 0;
  return aErrNone;
}

uint32_t aPacketFifo_GetLength(aPacketFifoRef ref) {
  FifoUse use(ref);
  Fifo* fifo = use.get();
  if (!fifo) return 0;
  std::lock_guard<std::mutex> guard(fifo->lock);
  return fifo->count > 0 ? static_cast<uint32_t>(fifo->count) : 0;
}

aErr aPacketFifo_Put(aPacketFifoRef ref, const aPacket* packet) {
  if (!aVALIDPACKET(packet) || packet->dataSize > aPACKET_MAXDATA) return aErrParam;
  FifoUse use(ref);
  Fifo* fifo = use.get();
  if (!fifo) return aErrParam;
  Entry* entry = static_cast<Entry*>(malloc(sizeof(Entry)));
  if (!entry) return aErrResource;
  memcpy(&entry->packet, packet, sizeof(aPacket));
  entry->budget = aPACKETFIFO_SKIP_BUDGET;
  entry->next = nullptr;

  Entry* overflow = nullptr;
  bool wake = false;
  {
    std::lock_guard<std::mutex> guard(fifo->lock);
    if (fifo->count < 0) {
      free(entry);
      return aErrCancel;
    }
    if (fifo->tail)
      fifo->tail->next = entry;
    else
      fifo->head = entry;
    fifo->tail = entry;
    fifo->count++;
    fifo->changes.fetch_add(1, std::memory_order_release);
    if (fifo->count > aPACKETFIFO_MAX) {
      // Nobody is taking packets off this queue: start afresh rather than
      // hand out a backlog of stale ones.
      overflow = fifo->head;
      fifo->head = fifo->tail = nullptr;
      fifo->count = 0;
    } else {
      wake = true;
    }
  }
  // Every waiter is woken, as a packet is claimed by content and may be
  // any one's. After the lock is released, so that none wakes only to wait
  // for the lock (the record lives on while this call uses it).
  if (wake) fifo->ready.notify_all();
  freeEntries(overflow);
  return aErrNone;
}

aPacket* aPacketFifo_Get(aPacketFifoRef ref) {
  FifoUse use(ref);
  Fifo* fifo = use.get();
  if (!fifo) return nullptr;
  Entry* entry = nullptr;
  {
    std::lock_guard<std::mutex> guard(fifo->lock);
    if (fifo->count > 0) entry = popHead(fifo);
  }
  return handOut(entry);
}

aPacket* aPacketFifo_Await(aPacketFifoRef ref, uint32_t timeoutMs) {
  FifoUse use(ref);
  Fifo* fifo = use.get();
  if (!fifo) return nullptr;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  Entry* entry = nullptr;
  {
    std::unique_lock<std::mutex> guard(fifo->lock);
    // Woken by a put whose packet another reader took first: wait on for
    // the rest of the time.
    fifo->ready.wait_until(guard, deadline, [fifo] { return fifo->count != 0; });
    if (fifo->count > 0) entry = popHead(fifo);
  }
  return handOut(entry);
}

bool aPacketFifo_WaitNotEmpty(aPacketFifoRef ref, uint32_t timeoutMs) {
  FifoUse use(ref);
  Fifo* fifo = use.get();
  if (!fifo) return false;
  std::unique_lock<std::mutex> guard(fifo->lock);
  fifo->ready.wait_for(guard, std::chrono::milliseconds(timeoutMs), [fifo] { return fifo->count != 0; });
  return fifo->count > 0;
}

aPacket* aPacketFifo_GetFirst(aPacketFifoRef ref, aPacketMatchProc match, const void* matchRef) {
  if (!match) return nullptr;
  FifoUse use(ref);
  Fifo* fifo = use.get();
  if (!fifo) return nullptr;
  Entry* entry = nullptr;
  {
    std::unique_lock<std::mutex> guard(fifo->lock);
    fifo->ready.wait(guard, [fifo] { return fifo->count != 0; });
    if (fifo->count > 0) entry = searchPass(fifo, match, matchRef);
  }
  return handOut(entry);
}

aPacket* aPacketFifo_TakeFirst(aPacketFifoRef ref, aPacketMatchProc match, const void* matchRef) {
  if (!match) return nullptr;
  FifoUse use(ref);
  Fifo* fifo = use.get();
  if (!fifo) return nullptr;
  Entry* entry = nullptr;
  {
    std::lock_guard<std::mutex> guard(fifo->lock);
    if (fifo->count > 0) entry = searchPass(fifo, match, matchRef);
  }
  return handOut(entry);
}

aPacket* aPacketFifo_AwaitFirst(aPacketFifoRef ref, aPacketMatchProc match, const void* matchRef,
                                uint32_t timeoutMs) {
  if (!match) return nullptr;
  FifoUse use(ref);
  Fifo* fifo = use.get();
  if (!fifo) return nullptr;
  const Clock::time_point now = Clock::now();
  return handOut(awaitFirst(fifo, match, matchRef, now + std::chrono::milliseconds(timeoutMs), now, nullptr));
}

aPacket* aPacketFifo_AwaitReply(aPacketFifoRef ref, aPacketMatchProc match, const void* matchRef,
                                uint32_t timeoutMs, aPacketFifoPasses* passes, bool poll) {
  if (!match) return nullptr;
  FifoUse use(ref);
  Fifo* fifo = use.get();
  if (!fifo) return nullptr;
  const uint32_t spinUs = poll ? fifo->replySpinUs.load(std::memory_order_relaxed) : 0;
  const Clock::time_point start = Clock::now();
  Entry* entry = awaitFirst(fifo, match, matchRef, start + std::chrono::milliseconds(timeoutMs),
                            start + std::chrono::microseconds(spinUs), passes);
  if (poll) {
    const int64_t tookUs = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
    fifo->replySpinUs.store(nextReplySpin(spinUs, entry != nullptr, tookUs), std::memory_order_relaxed);
  }
  return handOut(entry);
}

uint32_t aPacketFifo_DrainPackets(aPacketFifoRef ref, aPacketMatchProc match, const void* matchRef) {
  if (!match) return 0;
  FifoUse use(ref);
  Fifo* fifo = use.get();
  if (!fifo) return 0;
  uint32_t removed = 0;
  Entry* drained = nullptr;
  {
    std::lock_guard<std::mutex> guard(fifo->lock);
    Entry* prev = nullptr;
    Entry* entry = fifo->head;
    while (entry) {
      Entry* next = entry->next;
      if (match(&entry->packet, matchRef)) {
        unlink(fifo, prev, entry);
        entry->next = drained;
        drained = entry;
        removed++;
      } else {
        prev = entry;
      }
      entry = next;
    }
  }
  freeEntries(drained);
  return removed;
}
