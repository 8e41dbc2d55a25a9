// Reading a packet link's stream: packets are assembled byte by byte,
// heartbeats answered, framing errors resynchronised, the user packet filter
// run and what is left queued for the link's users. The reader thread does
// it, and a caller awaiting a reply while it holds the stream (aLinkReply.cpp).
#include <chrono>

#include "internal/aStreamPrivate.h"
#include "internal/aLinkRecord.h"
#include "platform/time.h"

namespace klv_link {

namespace {

// The host's resynchronisation burst: 0xAD, 0x00 six times.
const uint8_t kResyncBurst[] = {0xAD, 0x00, 0xAD, 0x00, 0xAD, 0x00, 0xAD, 0x00, 0xAD, 0x00, 0xAD, 0x00};
const uint32_t kResyncPauseMs = 2;
// Pause after a failed read, and after a wait that woke but found nothing
// (so that a transport whose wait cannot tell never makes the thread spin).
const uint32_t kIdlePauseMs = 1;
// Longest wait for data in one go. Stopping the link interrupts the wait of
// a stream that allows it, so the thread then need not wake to look at its
// flag; over other streams it looks at least every kWaitSliceMs.
const uint32_t kInterruptibleWaitMs = 5000;
const uint32_t kWaitSliceMs = 10;
// How long the reader steps aside at a time while callers read the stream:
// it reads again once a whole period has passed without a caller's turn.
const uint32_t kParkMs = 5;

// Resynchronisation states: waiting for the burst to be written, then for
// the module's answer X, 0, X, 0 (X even and non-zero).
enum { kSynced = 0, kBurstPending = 1, kAwaitX = 2, kAwaitZero1 = 3, kAwaitXAgain = 4, kAwaitZero2 = 5 };

void startResync(LinkRecord* link) {
  platform::sleepMilliseconds(kResyncPauseMs);
  link->status = LINK_RESYNCING;
  link->resyncState = kBurstPending;
  aPacket_Reset(link->assembly);
  if (writeStream(link, kResyncBurst, sizeof(kResyncBurst)) == aErrNone) link->resyncState = kAwaitX;
}

void resyncByte(LinkRecord* link, uint8_t byte) {
  switch (link->resyncState) {
    case kAwaitX:
      if (byte != 0 && (byte & 1) == 0) {
        link->resyncByte = byte;
        link->resyncState = kAwaitZero1;
        return;
      }
      break;
    case kAwaitZero1:
      if (byte == 0) {
        link->resyncState = kAwaitXAgain;
        return;
      }
      break;
    case kAwaitXAgain:
      if (byte == link->resyncByte) {
        link->resyncState = kAwaitZero2;
        return;
      }
      break;
    case kAwaitZero2:
      if (byte == 0) {
        link->resyncState = kSynced;
        link->status = LINK_RUNNING;
        return;
      }
      break;
    default:
      break;
  }
  startResync(link);
}

bool isHeartbeat(const LinkRecord* link, const aPacket* packet) {
  return packet->dataSize == 2 && packet->data[0] == 0 && (link->handshake == 0 || link->handshake == 1);
}

// The module's heartbeat 0, v is answered with 0, v + 2 from the same address.
void answerHeartbeat(LinkRecord* link, const aPacket* packet) {
  const uint8_t value = packet->data[1];
  if (value == 0) link->handshake = 2;
  if (value == 1) link->handshake = 3;
  const uint8_t answer[2] = {0, static_cast<uint8_t>(value + 2)};
  aPacket* reply = aPacket_CreateWithData(packet->address, 2, answer);
  if (reply) {
    // Never waits behind a caller's write: a module that cannot take more
    // bytes until it is read must not stall the reader.
    sendPacket(link, reply, false);
    aPacket_Destroy(&reply);
  }
  link->handshake = 0;
}

bool runUserFilter(LinkRecord* link, const aPacket* packet) {
  std::lock_guard<std::mutex> guard(link->filterLock);
  return link->filter && link->filter(packet, link->filterRef);
}

aErr deliver(LinkRecord* link, const aPacket* packet) {
  logPacket(link, aLINK_LOG_RECEIVED, packet);
  if (runUserFilter(link, packet)) return aErrNone;
  if (isHeartbeat(link, packet)) {
    answerHeartbeat(link, packet);
    return aErrNone;
  }
  return aPacketFifo_Put(link->inbound.load(), packet);
}

// The user filter runs on the reader thread only: a caller that completes a
// packet while a filter is installed puts its bytes back for the reader.
bool leaveToReader(LinkRecord* link) {
  uint8_t wire[kWireMax];
  const size_t count = wireBytes(link->assembly, wire);
  if (aStream_Unread(link->stream, wire, count) != aErrNone) return false;
  aPacket_Reset(link->assembly);
  wakeReader(link);
  return true;
}

// Handles one byte; false when it completed a packet left to the reader.
bool handleByte(LinkRecord* link, uint8_t byte, bool onReaderThread) {
  if (link->status == LINK_RESYNCING) {
    resyncByte(link, byte);
    return true;
  }
  if (aPacket_AddByte(link->assembly, byte) != aErrNone) {
    startResync(link);
    return true;
  }
  if (!aPacket_IsComplete(link->assembly)) return true;
  if (!onReaderThread && userFilterInstalled(link) && leaveToReader(link)) return false;
  if (deliver(link, link->assembly) != aErrNone) link->status = LINK_QUEUE_ERROR;
  aPacket_Reset(link->assembly);
  return true;
}

// Waits for the stream to have data; true unless the wait ran out of time
// (a failing wait counts as woken, so it cannot make the thread spin).
// After a wait that woke but the read found nothing, it pauses instead.
bool awaitData(LinkRecord* link, bool woken) {
  if (woken) {
    platform::sleepMilliseconds(kIdlePauseMs);
    return false;
  }
  const uint32_t slice = aStream_WaitIsInterruptible(link->stream) ? kInterruptibleWaitMs : kWaitSliceMs;
  return aStream_Wait(link->stream, slice) != aErrNotReady;
}

// True while callers read the stream: one asks for it, or one has had a turn
// since the reader last looked (*seenTurns).
bool callersReading(LinkRecord* link, uint32_t* seenTurns) {
  const uint32_t turns = link->callerTurns.load();
  const bool reading = link->replyReaders.load() > 0 || turns != *seenTurns;
  *seenTurns = turns;
  return reading;
}

// Steps aside for the callers reading the stream, for one period or until
// the link stops or a caller leaves a packet to the reader.
void park(LinkRecord* link) {
  std::unique_lock<std::mutex> guard(link->parkLock);
  link->parked.wait_for(guard, std::chrono::milliseconds(kParkMs));
}

// One turn of the reader at the stream: reads what there is, or else waits
// for data unless a caller asks for the stream. False when a caller has it.
bool readerTurn(LinkRecord* link, bool* woken) {
  std::unique_lock<std::mutex> turn(link->streamRead, std::try_to_lock);
  if (!turn.owns_lock()) return false;
  link->readerHolds = true;
  const aErr err = readAvailable(link, true);
  if (err == aErrNotReady) {
    if (link->replyReaders.load() == 0 && link->running) *woken = awaitData(link, *woken);
  } else {
    *woken = false;
  }
  link->readerHolds = false;
  turn.unlock();
  if (err != aErrNone && err != aErrNotReady) platform::sleepMilliseconds(kIdlePauseMs);
  return true;
}

}  // namespace

aErr readAvailable(LinkRecord* link, bool onReaderThread) {
  bool handled = false;
  while (link->running) {
    uint8_t byte = 0;
    const aErr err = link->stream ? aStream_Read(link->stream, &byte, 1) : aErrConnection;
    if (err == aErrNotReady) break;
    if (err != aErrNone) {
      link->status = LINK_READ_ERROR;
      return err;
    }
    handled = true;
    if (!handleByte(link, byte, onReaderThread)) return aErrBusy;
    if (link->status != LINK_RESYNCING && link->assembly->received == 0) break;
  }
  return handled ? aErrNone : aErrNotReady;
}

bool userFilterInstalled(LinkRecord* link) {
  std::lock_guard<std::mutex> guard(link->filterLock);
  return link->filter != nullptr;
}

void wakeReader(LinkRecord* link) {
  { std::lock_guard<std::mutex> guard(link->parkLock); }
  link->parked.notify_all();
}

// The thread waits on the stream between bytes until data comes or the
// link's stop interrupts the wait (bounded all the same). A stream error does
// not end the thread: the status shows it and reads go on being tried every
// millisecond until the link is stopped or reset. While callers read the
// stream themselves, the thread steps aside.
void readerMain(void* arg) {
  LinkRecord* link = static_cast<LinkRecord*>(arg);
  link->handshake = 0;
  link->resyncState = kSynced;
  link->resyncByte = 1;
  link->status = LINK_RUNNING;
  uint32_t seenTurns = link->callerTurns.load();
  bool woken = false;
  while (link->running) {
    if (callersReading(link, &seenTurns) || !readerTurn(link, &woken)) park(link);
  }
}

}  // namespace klv_link
