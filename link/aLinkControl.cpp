// Creating, starting, stopping, resetting and destroying packet links.
#include <new>

#include "internal/aLinkRecord.h"
#include "internal/aStreamPrivate.h"
#include "platform/thread.h"
#include "platform/time.h"

namespace klv_link {

namespace {

// Link-level control packets: address 0xAF is odd, so never a module's.
const uint8_t kControlAddress = 0xAF;
const uint8_t kLinkStart = 0x01;
const uint8_t kLinkStop = 0x00;

// Attempts at opening a transport, and the pause after a failed one.
const int kOpenTries = 20;
const uint32_t kCreatePauseMs = 1;
const uint32_t kResetPauseMs = 100;

aErr queueControlPacket(LinkRecord* link, uint8_t code) {
  aPacket* packet = aPacket_CreateWithData(kControlAddress, 1, &code);
  if (!packet) return aErrMemory;
  aErr err = queuePacket(link, packet);
  aPacket_Destroy(&packet);
  return err;
}

aErr makeQueues(LinkRecord* link) {
  link->inbound = aPacketFifo_Create();
  link->outbound = aPacketFifo_Create();
  return (link->inbound.load() && link->outbound.load()) ? aErrNone : aErrMemory;
}

aErr destroyQueues(LinkRecord* link) {
  aPacketFifoRef in = link->inbound.exchange(0);
  aPacketFifoRef out = link->outbound.exchange(0);
  if (in) aPacketFifo_Destroy(&in);
  return out ? aPacketFifo_Destroy(&out) : aErrNone;
}

aStreamRef openTransport(Transport transport, uint32_t key, uint16_t port, int tries, uint32_t pauseMs) {
  aStreamRef stream = nullptr;
  for (int i = 0; i < tries; i++) {
    aErr err = transport == kTransportUSB ? aStream_CreateUSB(key, &stream) : aStream_CreateSocket(key, port, &stream);
    if (err == aErrNone && stream) return stream;
    stream = nullptr;
    platform::sleepMilliseconds(pauseMs);
  }
  return nullptr;
}

// Starts a new record and enters it in the registry; on failure the record
// and its stream are released. Called with the registry lock held.
aLinkRef enterStarted(LinkRecord* link) {
  aErr err;
  {
    std::lock_guard<std::mutex> guard(link->control);
    err = startLink(link);
    if (err != aErrNone) teardownLink(link);
  }
  if (err != aErrNone) {
    releaseUse(link);
    return 0;
  }
  link->references = 1;
  registryInsert(link);
  return link->id;
}

// A shared link for the key, with one more reference; 0 when there is none
// (or its count is full).
aLinkRef shareExisting(Transport transport, uint32_t key, uint16_t port, bool* found) {
  LinkRecord* link = registryFindShared(transport, key, port);
  *found = link != nullptr;
  if (!link || link->references == 0xFFFF) return 0;
  link->references++;
  return link->id;
}

}  // namespace

LinkRecord* newRecord(aStreamRef stream, Transport transport, uint32_t key, uint16_t port) {
  LinkRecord* link = new (std::nothrow) LinkRecord;
  if (!link) return nullptr;
  link->transport = transport;
  link->key = key;
  link->port = port;
  link->stream = stream;
  link->status = stream ? LINK_STOPPED : LINK_INVALID;
  link->assembly = aPacket_Create();
  if (makeQueues(link) != aErrNone || !link->assembly) {
    destroyQueues(link);
    link->stream = nullptr;
    releaseUse(link);
    return nullptr;
  }
  return link;
}

// The start packet is queued before the threads run, so that it is the
// first thing written even when the module speaks first.
aErr startLink(LinkRecord* link) {
  if (link->reader) return aErrNone;
  link->handshake = 0;
  aErr err = queueControlPacket(link, kLinkStart);
  if (err != aErrNone) return err;
  link->callersMayRead = aStream_WaitIsInterruptible(link->stream);
  link->running = true;
  link->writing = true;
  link->status = LINK_STARTING;
  link->reader = platform::threadStart(readerMain, link);
  link->writer = platform::threadStart(writerMain, link);
  if (link->reader && link->writer) return aErrNone;
  link->running = false;
  link->writing = false;
  platform::threadRelease(link->reader);
  platform::threadRelease(link->writer);
  link->reader = link->writer = nullptr;
  link->status = LINK_STOPPED;
  return aErrResource;
}

// The reader is stopped before the stop packet is queued, so no heartbeat
// answer can follow it: it is the last thing written. The reader's wait is
// interrupted; the writer is woken by the stop packet itself, queued after
// its flag is cleared (and after which nothing is written directly).
aErr stopLink(LinkRecord* link) {
  if (!link->reader) return aErrNone;
  link->status = LINK_STOPPING;
  link->running = false;
  if (link->stream) aStream_Interrupt(link->stream);
  wakeReader(link);
  platform::threadRelease(link->reader);
  link->reader = nullptr;
  // A caller reading its reply sees the flag and lets go of the stream
  // within its wait (which the interrupt ends too); nothing below is reset
  // under it.
  std::lock_guard<std::mutex> reading(link->streamRead);
  aErr err;
  {
    std::lock_guard<std::mutex> guard(link->streamWrite);
    link->writing = false;
    err = queueControlPacket(link, kLinkStop);
  }
  platform::threadRelease(link->writer);
  link->writer = nullptr;
  aPacket_Reset(link->assembly);
  link->handshake = 0;
  link->resyncState = 0;
  link->status = LINK_STOPPED;
  return err;
}

aErr teardownLink(LinkRecord* link) {
  link->destroyed = true;
  stopLink(link);
  aErr err = destroyQueues(link);
  {
    std::lock_guard<std::mutex> guard(link->logLock);
    aPacketLog_Destroy(&link->log);
  }
  if (link->stream) aStream_Destroy(&link->stream);
  return err;
}

}  // namespace klv_link

using namespace klv_link;

aLinkRef aLink_CreateUSB(uint32_t serialNumber) {
  std::lock_guard<std::mutex> guard(registryLock());
  bool found = false;
  aLinkRef shared = shareExisting(kTransportUSB, serialNumber, 0, &found);
  if (found) return shared;
  aStreamRef stream = openTransport(kTransportUSB, serialNumber, 0, kOpenTries, kCreatePauseMs);
  if (!stream) return 0;
  LinkRecord* link = newRecord(stream, kTransportUSB, serialNumber, 0);
  if (!link) {
    aStream_Destroy(&stream);
    return 0;
  }
  return enterStarted(link);
}

// Without a connection the link is still made: its reader finds no stream
// and shows LINK_READ_ERROR, and aLink_Reset may connect it later.
aLinkRef aLink_CreateTCPIP(uint32_t address, uint16_t port) {
  std::lock_guard<std::mutex> guard(registryLock());
  bool found = false;
  aLinkRef shared = shareExisting(kTransportTCPIP, address, port, &found);
  if (found) return shared;
  aStreamRef stream = openTransport(kTransportTCPIP, address, port, 1, 0);
  LinkRecord* link = newRecord(stream, kTransportTCPIP, address, port);
  if (!link) {
    if (stream) aStream_Destroy(&stream);
    return 0;
  }
  return enterStarted(link);
}

aLinkRef aLink_Create(aStreamRef stream) {
  if (!stream) return 0;
  std::lock_guard<std::mutex> guard(registryLock());
  LinkRecord* link = newRecord(stream, kTransportStream, 0xFFFFFFFFu, 0);
  if (!link) {
    aStream_Destroy(&stream);
    return 0;
  }
  return enterStarted(link);
}

aErr aLink_Destroy(aLinkRef* id) {
  if (!id) return aErrParam;
  LinkRecord* link = nullptr;
  {
    std::lock_guard<std::mutex> guard(registryLock());
    link = registryFind(*id);
    if (!link) return aErrParam;
    if (--link->references > 0) {
      *id = 0;
      return aErrNone;
    }
    registryRemove(link);
  }
  aErr err;
  {
    std::lock_guard<std::mutex> guard(link->control);
    err = teardownLink(link);
  }
  releaseUse(link);
  *id = 0;
  return err;
}

// Callers waiting on the old queues are woken and get null; the link comes
// back with new, empty queues over a new connection.
aErr aLink_Reset(aLinkRef id) {
  LinkUse use(id);
  LinkRecord* link = use.get();
  if (!link) return aErrParam;
  std::lock_guard<std::mutex> guard(link->control);
  if (link->destroyed || link->transport == kTransportStream) return aErrParam;
  stopLink(link);
  destroyQueues(link);
  if (link->stream) aStream_Destroy(&link->stream);
  link->stream = openTransport(link->transport, link->key, link->port, kOpenTries, kResetPauseMs);
  if (makeQueues(link) != aErrNone) {
    link->status = LINK_INVALID;
    return aErrMemory;
  }
  aPacket_Reset(link->assembly);
  link->status = link->stream ? LINK_STOPPED : LINK_INVALID;
  aErr err = startLink(link);
  if (err == aErrNone && !link->stream) err = aErrConnection;
  return err;
}

linkStatus aLink_GetStatus(aLinkRef id) {
  LinkUse use(id);
  LinkRecord* link = use.get();
  return link ? static_cast<linkStatus>(link->status.load()) : LINK_INVALID;
}
