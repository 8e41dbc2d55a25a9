// A caller awaiting a reply. When the link's stream can be read by whoever
// holds it (its wait can be interrupted), the caller takes the stream from
// the reader thread and reads its reply itself: the reply then needs one
// thread woken (or none, while the caller polls) instead of the reader and
// then the caller. Everything read goes the usual way (heartbeats answered,
// packets queued in order), and the reply is claimed from the inbound FIFO
// like any other, so callers beside each other still claim by content.
#include <algorithm>
#include <chrono>
#include <thread>

#include "internal/aLinkRecord.h"
#include "internal/aPacketFifoWait.h"
#include "internal/aReplySpin.h"
#include "internal/aStreamPrivate.h"

namespace klv_link {

namespace {

using Clock = std::chrono::steady_clock;

// A wait looks at the link's state at least this often, so that a link that
// stops running or starts resynchronising releases its waiters.
const uint32_t kAwaitSliceMs = 20;
// How long a caller waits for the reader thread to hand over the stream.
const uint32_t kTakeOverMs = 1;
// While another caller reads the stream, a caller waits on the FIFO for
// this long before it asks for the stream again.
const uint32_t kBesideReaderMs = 2;

enum class Turn { kTaken, kLeftToReader, kBusy };

bool flowing(const LinkRecord* link) { return link->running && link->status == LINK_RUNNING; }

uint32_t msUntil(Clock::time_point until) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
  return left > 0 ? static_cast<uint32_t>(left) : 0;
}

// Ends the reader thread's wait on the stream, so that it steps aside.
void interruptReader(LinkRecord* link) {
  // The stream is replaced only under the control lock, with the link
  // stopped; a caller that cannot have the lock at once lets the reader be.
  std::unique_lock<std::mutex> control(link->control, std::try_to_lock);
  if (control.owns_lock() && link->running && link->stream) aStream_Interrupt(link->stream);
}

// A caller's request that the reader thread step aside. It stays while the
// caller waits for the stream, so that a reader slow to wake still steps
// aside when it does, and ends once the caller has the stream or leaves.
class StreamRequest {
 public:
  explicit StreamRequest(LinkRecord* link) : link_(link) {}
  ~StreamRequest() { withdraw(); }
  void make() {
    if (!made_) link_->replyReaders++;
    made_ = true;
  }
  void withdraw() {
    if (made_) link_->replyReaders--;
    made_ = false;
  }

 private:
  LinkRecord* link_;
  bool made_ = false;
};

// Asks the reader thread to step aside and takes the stream once it has;
// false when that takes longer than kTakeOverMs.
bool takeFromReader(LinkRecord* link, std::unique_lock<std::mutex>& turn, StreamRequest& request) {
  request.make();
  interruptReader(link);
  const Clock::time_point until = Clock::now() + std::chrono::milliseconds(kTakeOverMs);
  bool taken = turn.try_lock();
  while (!taken && Clock::now() < until) {
    std::this_thread::yield();
    taken = turn.try_lock();
  }
  return taken;
}

// Takes the stream for the caller: from nobody, or from the reader thread.
// kLeftToReader when the caller must leave reading to the reader (the
// link's stream or user filter wants it so); kBusy while another caller
// reads, or the reader has yet to step aside.
Turn takeStream(LinkRecord* link, std::unique_lock<std::mutex>& turn, StreamRequest& request) {
  if (!link->callersMayRead) return Turn::kLeftToReader;
  if (!turn.try_lock() && (!link->readerHolds || !takeFromReader(link, turn, request))) return Turn::kBusy;
  request.withdraw();
  if (link->running && !userFilterInstalled(link)) {
    link->callerTurns++;
    return Turn::kTaken;
  }
  turn.unlock();
  return Turn::kLeftToReader;
}

// One search pass over the inbound FIFO, made when the caller has queued a
// packet: the callers waiting on the FIFO beside it get to look at their
// replies before its passes spend their budgets.
aPacket* claim(LinkRecord* link, aPacketMatchProc match, const void* matchRef) {
  return aPacketFifo_TakeFirst(link->inbound.load(), match, matchRef);
}

// With the stream taken: reads it until the reply is queued or `until`,
// first polling for a while (the link's reply budget), then waiting on the
// stream.
aPacket* readForReply(LinkRecord* link, aPacketMatchProc match, const void* matchRef, Clock::time_point until) {
  aPacket* reply = claim(link, match, matchRef);
  const Clock::time_point start = Clock::now();
  const uint32_t spinUs = link->replySpinUs.load(std::memory_order_relaxed);
  const Clock::time_point spinUntil = start + std::chrono::microseconds(spinUs);
  while (!reply && link->running) {
    const aErr err = readAvailable(link, false);
    if (err == aErrNone) {
      reply = claim(link, match, matchRef);
      continue;
    }
    if (err != aErrNotReady) break;
    const Clock::time_point now = Clock::now();
    if (now >= until) break;
    if (now < spinUntil)
      std::this_thread::yield();
    else
      aStream_Wait(link->stream, std::max<uint32_t>(1, msUntil(until)));
  }
  const int64_t tookUs = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
  link->replySpinUs.store(nextReplySpin(spinUs, reply != nullptr, tookUs), std::memory_order_relaxed);
  return reply;
}

// The caller's passes over the link's inbound FIFO, for the whole wait; they
// start afresh on the new queue after a reset.
class Claimer {
 public:
  aPacketFifoPasses* passes(aPacketFifoRef inbound) {
    if (inbound != fifo_) passes_ = aPacketFifoPasses();
    fifo_ = inbound;
    return &passes_;
  }

 private:
  aPacketFifoRef fifo_ = 0;
  aPacketFifoPasses passes_;
};

// One slice of the wait, up to `until`: reading the stream, or else waiting
// on the inbound FIFO for the reader thread or another caller to queue the
// reply. The first slice on the FIFO polls it for a while.
aPacket* awaitSlice(LinkRecord* link, aPacketMatchProc match, const void* matchRef, Clock::time_point until,
                    bool first, StreamRequest& request, Claimer& claimer) {
  std::unique_lock<std::mutex> turn(link->streamRead, std::defer_lock);
  const Turn taken = takeStream(link, turn, request);
  if (taken == Turn::kTaken) return readForReply(link, match, matchRef, until);
  uint32_t waitMs = msUntil(until);
  if (taken == Turn::kBusy) waitMs = std::min(waitMs, kBesideReaderMs);
  const aPacketFifoRef inbound = link->inbound.load();
  return aPacketFifo_AwaitReply(inbound, match, matchRef, waitMs, claimer.passes(inbound), first);
}

}  // namespace

aPacket* awaitReply(LinkRecord* link, aPacketMatchProc match, const void* matchRef, uint32_t timeoutMs) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  Claimer claimer;
  StreamRequest request(link);
  bool first = true;
  while (flowing(link)) {
    const Clock::time_point sliceEnd = std::min(deadline, Clock::now() + std::chrono::milliseconds(kAwaitSliceMs));
    aPacket* packet = awaitSlice(link, match, matchRef, sliceEnd, first, request, claimer);
    first = false;
    if (packet) return packet;
    if (Clock::now() >= deadline) break;
  }
  return nullptr;
}

}  // namespace klv_link
