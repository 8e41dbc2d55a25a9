// Packet exchange, the user packet filter and the packet debug log of a link.
#include "internal/aLinkRecord.h"

using namespace klv_link;

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
  LinkUse use(id);
  LinkRecord* link = use.get();
  if (!link || !match) return nullptr;
  return awaitReply(link, match, matchRef, timeoutMs);
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
