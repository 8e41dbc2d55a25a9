// Packet exchange, the user packet filter and the packet debug log of a link.
#include <algorithm>
#include <chrono>

#include "internal/aLinkRecord.h"
#include "internal/aPacketFifoWait.h"

using namespace klv_link;

namespace {

// aLink_AwaitFirst looks at the link's state at least this often, so that a
// link that stops running or starts resynchronising releases its waiters.
const uint32_t kAwaitSliceMs = 20;

bool flowing(const LinkRecord* link) { return link->running && link->status == LINK_RUNNING; }

}  // namespace

aErr aLink_PutPacket(aLinkRef id, const aPacket* packet) {
  if (!aVALIDPACKET(packet)) return aErrParam;
  LinkUse use(id);
  LinkRecord* link = use.get();
  if (!link) return aErrParam;
  return sendPacket(link, packet, true);
}

aPacket* aLink_GetPacket(aLinkRef id) {
  LinkUse use(id);
  return use.get() ? aPacketFifo_Get(use.get()->inbound.load()) : nullptr;
}

aPacket* aLink_AwaitPacket(aLinkRef id, uint32_t timeoutMs) {
  LinkUse use(id);
  return use.get() ? aPacketFifo_Await(use.get()->inbound.load(), timeoutMs) : nullptr;
}

aPacket* aLink_GetFirst(aLinkRef id, aPacketMatchProc match, const void* matchRef) {
  LinkUse use(id);
  return use.get() ? aPacketFifo_GetFirst(use.get()->inbound.load(), match, matchRef) : nullptr;
}

aPacket* aLink_AwaitFirst(aLinkRef id, aPacketMatchProc match, const void* matchRef, uint32_t timeoutMs) {
  using Clock = std::chrono::steady_clock;
  LinkUse use(id);
  LinkRecord* link = use.get();
  if (!link || !match) return nullptr;
  const Clock::time_point start = Clock::now();
  uint32_t left = timeoutMs;
  // The reply to a request just sent is polled for at first (see
  // aPacketFifo_AwaitReply); the later slices only sleep.
  bool first = true;
  while (flowing(link)) {
    const uint32_t slice = std::min(left, kAwaitSliceMs);
    aPacket* packet = first ? aPacketFifo_AwaitReply(link->inbound.load(), match, matchRef, slice)
                            : aPacketFifo_AwaitFirst(link->inbound.load(), match, matchRef, slice);
    first = false;
    if (packet) return packet;
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    if (elapsed >= timeoutMs) break;
    left = timeoutMs - static_cast<uint32_t>(elapsed);
  }
  return nullptr;
}

uint32_t aLink_DrainPackets(aLinkRef id, aPacketMatchProc match, const void* matchRef) {
  LinkUse use(id);
  return use.get() ? aPacketFifo_DrainPackets(use.get()->inbound.load(), match, matchRef) : 0;
}

aErr aLink_InstallUserPacketFilter(aLinkRef id, aLinkPacketFilter filter, void* filterRef) {
  LinkUse use(id);
  LinkRecord* link = use.get();
  if (!link) return aErrParam;
  std::lock_guard<std::mutex> guard(link->filterLock);
  link->filter = filter;
  link->filterRef = filter ? filterRef : nullptr;
  return aErrNone;
}

aErr aLink_PacketDebug_SetLogSize(aLinkRef id, int32_t bytes) {
  LinkUse use(id);
  LinkRecord* link = use.get();
  if (!link || bytes > aLINK_LOG_MAX) return aErrParam;
  std::lock_guard<std::mutex> control(link->control);
  std::lock_guard<std::mutex> guard(link->logLock);
  if (link->log) return aErrBusy;
  link->logSize = bytes < 0 ? 0 : static_cast<uint32_t>(bytes);
  return aErrNone;
}

aErr aLink_PacketDebug_Enable(aLinkRef id) {
  LinkUse use(id);
  LinkRecord* link = use.get();
  if (!link) return aErrParam;
  std::lock_guard<std::mutex> control(link->control);
  if (link->destroyed) return aErrParam;
  std::lock_guard<std::mutex> guard(link->logLock);
  if (!link->log) {
    link->log = aPacketLog_Create(link->logSize ? link->logSize : aLINK_LOG_DEFAULT);
    if (!link->log) return aErrResource;
  }
  link->logEnabled = true;
  return aErrNone;
}

aErr aLink_PacketDebug_Disable(aLinkRef id) {
  LinkUse use(id);
  LinkRecord* link = use.get();
  if (!link) return aErrParam;
  std::lock_guard<std::mutex> control(link->control);
  std::lock_guard<std::mutex> guard(link->logLock);
  if (!link->log) return aErrNotReady;
  link->logEnabled = false;
  return aErrNone;
}

aErr aLink_PacketDebug_Read(aLinkRef id, uint8_t* direction, uint32_t* length, uint8_t* buffer) {
  LinkUse use(id);
  LinkRecord* link = use.get();
  if (!link) return aErrParam;
  std::lock_guard<std::mutex> guard(link->logLock);
  return link->log ? aPacketLog_Get(link->log, direction, length, buffer) : aErrNotReady;
}

aErr aLink_PacketDebug_Write(aLinkRef id, uint8_t direction, uint32_t length, const uint8_t* bytes) {
  LinkUse use(id);
  LinkRecord* link = use.get();
  if (!link) return aErrParam;
  std::lock_guard<std::mutex> guard(link->logLock);
  return link->log ? aPacketLog_Put(link->log, direction, length, bytes) : aErrNotReady;
}
