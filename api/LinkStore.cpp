// Link: the store-slot transfer protocol (command 4) and the factory-data
// protocol (command 0x5E).
#include <cstring>

#include "internal/LinkState.h"
#include "protocol/ModuleCodes.h"

namespace Mirovane {
namespace Kelvarion {

namespace {

// ---- Store slots -----------------------------------------------------------

const uint8_t kStoreChunk = 25;
const uint32_t kOpenWaitMs = 3000;

// A store reply: command 4, the option with or without its error bit, and
// store and slot (options 1-4) or the handle (options 5-8).
struct StoreMatch {
  uint8_t option;
  uint8_t store;
  uint8_t slot;
  uint8_t handle;
};

uint8_t storeReply(const aPacket* p, const void* ref) {
  const StoreMatch* m = static_cast<const StoreMatch*>(ref);
  if (p->dataSize < 3 || p->data[0] != cmdSTORE || (p->data[1] & 0x7F) != m->option) return 0;
  if (m->option <= STORE_OPEN_WRITE)
    return p->dataSize >= 4 && p->data[2] == m->store && p->data[3] == m->slot;
  return p->data[2] == m->handle;
}

bool isError(const aPacket* reply) { return (reply->data[1] & STORE_ERROR) != 0; }

// The module's code at byte `at` of an error reply.
aErr errorCode(const aPacket* reply, uint8_t at) {
  return reply->dataSize > at ? static_cast<aErr>(reply->data[at]) : static_cast<aErr>(aErrUnknown);
}

// Sends data to module and waits for the reply that match claims. aErrTimeout
// when none comes (*reply stays null).
aErr exchange(aLinkRef link, uint8_t module, const uint8_t* data, uint8_t length,
              aPacketMatchProc match, const void* matchRef, uint32_t waitMs, aPacket** reply) {
  *reply = nullptr;
  aPacket* request = aPacket_CreateWithData(module, length, data);
  if (!request) return aErrResource;
  aErr err = aLink_PutPacket(link, request);
  aPacket_Destroy(&request);
  if (err != aErrNone) return err;
  *reply = aLink_AwaitFirst(link, match, matchRef, waitMs);
  return *reply ? aErrNone : aErrTimeout;
}

aErr storeNumber(aLinkRef link, uint8_t module, uint8_t option, uint8_t store, uint8_t slot,
                 uint32_t* out) {
  if (!out) return aErrParam;
  const uint8_t request[] = {cmdSTORE, option, store, slot};
  StoreMatch m{option, store, slot, 0};
  aPacket* reply;
  aErr err = exchange(link, module, request, sizeof request, storeReply, &m, kReplyWaitMs, &reply);
  if (err != aErrNone) return err;
  if (isError(reply)) err = errorCode(reply, 4);
  else if (reply->dataSize != 6) err = aErrUnknown;
  else *out = static_cast<uint32_t>(reply->data[4]) << 8 | reply->data[5];
  aPacket_Destroy(&reply);
  return err;
}

uint8_t openSlot(aLinkRef link, uint8_t module, uint8_t option, uint8_t store, uint8_t slot) {
  const uint8_t request[] = {cmdSTORE, option, store, slot};
  StoreMatch m{option, store, slot, 0};
  aPacket* reply;
  if (exchange(link, module, request, sizeof request, storeReply, &m, kOpenWaitMs, &reply) !=
      aErrNone)
    return STORE_INVALID_HANDLE;
  // The handle is byte 4: a reply without it opens nothing.
  uint8_t handle = !isError(reply) && reply->dataSize >= 5 ? reply->data[4] : STORE_INVALID_HANDLE;
  aPacket_Destroy(&reply);
  return handle;
}

aErr closeSlot(aLinkRef link, uint8_t module, uint8_t handle) {
  const uint8_t request[] = {cmdSTORE, STORE_CLOSE, handle};
  StoreMatch m{STORE_CLOSE, 0, 0, handle};
  aPacket* reply;
  aErr err = exchange(link, module, request, sizeof request, storeReply, &m, kReplyWaitMs, &reply);
  if (err != aErrNone) return err;
  if (reply->dataSize != 4) err = aErrIO;
  else if (isError(reply)) err = errorCode(reply, 3);
  aPacket_Destroy(&reply);
  return err;
}

aErr writeChunk(aLinkRef link, uint8_t module, uint8_t handle, const uint8_t* data, uint8_t length) {
  uint8_t request[3 + kStoreChunk] = {cmdSTORE, STORE_WRITE, handle};
  std::memcpy(request + 3, data, length);
  uint8_t checksum = 0;
  for (uint8_t i = 0; i < length; ++i) checksum = static_cast<uint8_t>(checksum + data[i]);
  StoreMatch m{STORE_WRITE, 0, 0, handle};
  aPacket* reply;
  aErr err = exchange(link, module, request, static_cast<uint8_t>(3 + length), storeReply, &m,
                      kReplyWaitMs, &reply);
  if (err != aErrNone) return err;
  if (isError(reply)) err = errorCode(reply, 3);
  else if (reply->dataSize != 4 || reply->data[3] != checksum) err = aErrIO;
  aPacket_Destroy(&reply);
  return err;
}

// Reads the next piece of an open slot into buffer[*received..capacity).
aErr readChunk(aLinkRef link, uint8_t module, uint8_t handle, uint8_t* buffer, uint32_t capacity,
               uint32_t* received) {
  const uint8_t request[] = {cmdSTORE, STORE_READ, handle};
  StoreMatch m{STORE_READ, 0, 0, handle};
  aPacket* reply;
  aErr err = exchange(link, module, request, sizeof request, storeReply, &m, kReplyWaitMs, &reply);
  if (err != aErrNone) return err;
  if (isError(reply)) {
    err = errorCode(reply, 3);
  } else if (reply->dataSize < 4) {
    err = aErrUnknown;
  } else {
    uint32_t n = reply->dataSize - 3u;
    if (n > capacity - *received) n = capacity - *received;
    std::memcpy(buffer + *received, reply->data + 3, n);
    *received += n;
  }
  aPacket_Destroy(&reply);
  return err;
}

// ---- Factory data --------------------------------------------------------------

const uint8_t kFactoryChunk = 26;

// A factory-data reply: command 0x5E and the selector in the option's low bits.
uint8_t factoryReply(const aPacket* p, const void* ref) {
  uint8_t selector = *static_cast<const uint8_t*>(ref);
  return p->dataSize >= 2 && p->data[0] == cmdFACTORY && (p->data[1] & FACTORY_SELECTOR) == selector;
}

aErr factoryExchange(aLinkRef link, uint8_t module, const uint8_t* data, uint8_t length,
                     uint8_t selector, aPacket** reply) {
  return exchange(link, module, data, length, factoryReply, &selector, kReplyWaitMs, reply);
}

// The closing packet with the transfer's byte count, and its reply.
aErr factoryClose(aLinkRef link, uint8_t module, uint8_t selector, uint32_t total) {
  const uint8_t request[] = {cmdFACTORY, FACTORY_CLOSE, static_cast<uint8_t>(total >> 8),
                             static_cast<uint8_t>(total)};
  aPacket* reply;
  aErr err = factoryExchange(link, module, request, sizeof request, selector, &reply);
  if (err != aErrNone) return err;
  if (reply->dataSize == 3 && (reply->data[1] & FACTORY_ERROR)) err = reply->data[2];
  aPacket_Destroy(&reply);
  return err;
}

}  // namespace

// ---- Store slots -------------------------------------------------------------------

aErr Link::storeSlotCapacity(uint8_t module, uint8_t store, uint8_t slot, uint32_t* capacity) {
  aLinkRef link = connectedLink();
  if (!link) return aErrConnection;
  return storeNumber(link, module, STORE_CAPACITY, store, slot, capacity);
}

aErr Link::storeSlotSize(uint8_t module, uint8_t store, uint8_t slot, uint32_t* size) {
  aLinkRef link = connectedLink();
  if (!link) return aErrConnection;
  return storeNumber(link, module, STORE_SIZE, store, slot, size);
}

aErr Link::loadStoreSlot(uint8_t module, uint8_t store, uint8_t slot, const uint8_t* data,
                         uint32_t length) {
  aLinkRef link = connectedLink();
  if (!link) return aErrConnection;
  if (length && !data) return aErrParam;
  uint8_t handle = openSlot(link, module, STORE_OPEN_WRITE, store, slot);
  if (handle == STORE_INVALID_HANDLE) return aErrMedia;
  aErr err = aErrNone;
  for (uint32_t done = 0; done < length && err == aErrNone;) {
    uint8_t n = static_cast<uint8_t>(length - done < kStoreChunk ? length - done : kStoreChunk);
    err = writeChunk(link, module, handle, data + done, n);
    done += n;
  }
  aErr closeErr = closeSlot(link, module, handle);
  return err != aErrNone ? err : closeErr;
}

aErr Link::unloadStoreSlot(uint8_t module, uint8_t store, uint8_t slot, uint8_t* buffer,
                           uint32_t bufferLength, uint32_t* count) {
  aLinkRef link = connectedLink();
  if (!link) return aErrConnection;
  if (!count || (bufferLength && !buffer)) return aErrParam;
  *count = 0;
  uint32_t size = 0;
  aErr err = storeSlotSize(module, store, slot, &size);
  if (err != aErrNone) return err;
  uint8_t handle = openSlot(link, module, STORE_OPEN_READ, store, slot);
  if (handle == STORE_INVALID_HANDLE) return aErrMedia;
  uint32_t wanted = size < bufferLength ? size : bufferLength;
  uint32_t received = 0;
  while (received < wanted && err == aErrNone)
    err = readChunk(link, module, handle, buffer, bufferLength, &received);
  aErr closeErr = closeSlot(link, module, handle);
  if (err != aErrNone) return err;
  if (closeErr != aErrNone) return closeErr;
  *count = wanted;
  return size > bufferLength ? aErrOverrun : aErrNone;
}

// ---- Factory data ------------------------------------------------------------------

aErr Link::getFactoryData(uint8_t module, uint8_t command, uint8_t* buffer, uint32_t bufferLength,
                          uint32_t* count) {
  aLinkRef link = connectedLink();
  if (!link) return aErrConnection;
  if (!buffer || !count || command > FACTORY_SELECTOR) return aErrParam;
  uint32_t total = 0;
  bool more = true;
  for (bool first = true; more; first = false) {
    const uint8_t request[] = {cmdFACTORY, static_cast<uint8_t>(first ? command | FACTORY_FIRST : command)};
    aPacket* reply;
    aErr err = factoryExchange(link, module, request, sizeof request, command, &reply);
    if (err != aErrNone) return err;
    uint32_t n = reply->dataSize >= 2 ? reply->dataSize - 2u : 0;
    if (reply->data[1] & FACTORY_ERROR) err = reply->dataSize > 2 ? static_cast<aErr>(reply->data[2]) : static_cast<aErr>(aErrUnknown);
    else if (total + n >= bufferLength) err = aErrOverrun;
    else std::memcpy(buffer + total, reply->data + 2, n);
    more = reply->dataSize == aPACKET_MAXDATA;
    aPacket_Destroy(&reply);
    if (err != aErrNone) return err;
    total += n;
  }
  aErr err = factoryClose(link, module, command, total);
  if (err == aErrNone) *count = total;
  return err;
}

aErr Link::setFactoryData(uint8_t module, uint8_t command, const uint8_t* data, uint32_t length) {
  aLinkRef link = connectedLink();
  if (!link) return aErrConnection;
  if ((length && !data) || length > 0xFFFF || command > FACTORY_SELECTOR) return aErrParam;
  for (uint32_t done = 0; done < length;) {
    uint8_t n = static_cast<uint8_t>(length - done < kFactoryChunk ? length - done : kFactoryChunk);
    uint8_t request[2 + kFactoryChunk] = {
        cmdFACTORY, static_cast<uint8_t>(command | FACTORY_WRITE | (done == 0 ? FACTORY_FIRST : 0))};
    std::memcpy(request + 2, data + done, n);
    aPacket* reply;
    aErr err = factoryExchange(link, module, request, static_cast<uint8_t>(2 + n), command, &reply);
    if (err != aErrNone) return err;
    if (reply->data[1] & FACTORY_ERROR) err = reply->dataSize > 2 ? static_cast<aErr>(reply->data[2]) : static_cast<aErr>(aErrUnknown);
    else if (reply->dataSize != 2) err = aErrSize;
    aPacket_Destroy(&reply);
    if (err != aErrNone) return err;
    done += n;
  }
  return factoryClose(link, module, command, length);
}

}  // namespace Kelvarion
}  // namespace Mirovane
