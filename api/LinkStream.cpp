// Link: the stream facility. Stream packets that modules push unasked are
// taken off the packet link's reader thread by linkStreamFilter, their values
// cached per stream key, and the registered callbacks run on a dispatch
// worker fed through a lock-free ring.
#include "internal/LinkState.h"
#include "aThread.h"
#include "protocol/ModuleCodes.h"

namespace Mirovane {
namespace Kelvarion {

namespace {

const uint8_t W = Link::STREAM_WILDCARD;
// How long the idle dispatch worker sleeps at most before it looks again.
const uint32_t kIdleWaitMs = 1000;

// Data length of each sample type (index = STREAM_PACKET value); 0 = none.
const uint8_t kSampleLength[8] = {0, 14, 15, 17, 0, 15, 16, 18};

uint8_t lastByte(const aPacket* p) { return p->data[p->dataSize - 1]; }
uint8_t typeByte(const aPacket* p) { return p->data[3]; }

uint64_t bigEndian(const uint8_t* bytes, int count) {
  uint64_t value = 0;
  for (int i = 0; i < count; ++i) value = value << 8 | bytes[i];
  return value;
}

// The key's five elements, in selector order.
void keyElements(uint64_t key, uint8_t e[5]) {
  for (int i = 0; i < 5; ++i) e[i] = Link::getStreamKeyElement(key, i);
}

bool keySelected(uint64_t key, const uint8_t filter[5]) {
  uint8_t e[5];
  keyElements(key, e);
  for (int i = 0; i < 5; ++i)
    if (filter[i] != W && filter[i] != e[i]) return false;
  return true;
}

std::vector<uint64_t> selectKeys(const std::map<uint64_t, StreamEntry>& table,
                                 const uint8_t filter[5]) {
  std::vector<uint64_t> keys;
  for (const auto& entry : table)
    if (keySelected(entry.first, filter)) keys.push_back(entry.first);
  return keys;
}

void eraseKeys(std::map<uint64_t, StreamEntry>& table, const std::vector<uint64_t>& keys) {
  for (uint64_t key : keys) table.erase(key);
}

}  // namespace

// ---- Dispatch ring -------------------------------------------------------------

bool DispatchRing::push(streamCallback callback, void* ref, aPacket* packet) {
  uint16_t write = write_.load(std::memory_order_relaxed);
  uint16_t slot = next(write);
  if (slot == read_.load(std::memory_order_acquire)) {
    aPacket_Destroy(&packet);
    dropped_.fetch_add(1, std::memory_order_relaxed);
    return false;
  }
  slots_[slot] = Slot{callback, ref, packet};
  write_.exchange(slot, std::memory_order_acq_rel);
  return true;
}

bool DispatchRing::pop(streamCallback* callback, void** ref, aPacket** packet) {
  uint16_t read = read_.load(std::memory_order_relaxed);
  if (read == write_.load(std::memory_order_acquire)) return false;
  uint16_t slot = next(read);
  *callback = slots_[slot].callback;
  *ref = slots_[slot].ref;
  *packet = slots_[slot].packet;
  slots_[slot].packet = nullptr;
  read_.exchange(slot, std::memory_order_acq_rel);
  return true;
}

void DispatchRing::clear() {
  streamCallback callback;
  void* ref;
  aPacket* packet;
  while (pop(&callback, &ref, &packet)) aPacket_Destroy(&packet);
}

// ---- Worker and filter state -----------------------------------------------------

void LinkState::workerLoop() {
  while (!stopSignal.load(std::memory_order_acquire)) {
    streamCallback callback;
    void* ref;
    aPacket* packet;
    if (!ring.pop(&callback, &ref, &packet)) {
      // Until an item or the stop arrives; the bound only keeps the wait finite.
      platform::wakeupWait(workSignal, kIdleWaitMs);
      continue;
    }
    callback(packet, ref);
    aPacket_Destroy(&packet);
  }
}

static void runWorker(void* state) { static_cast<LinkState*>(state)->workerLoop(); }

bool LinkState::startWorker() {
  if (!workSignal) workSignal = platform::wakeupCreate();
  if (!workSignal) return false;
  if (!worker) worker = aThread_Start(runWorker, this);
  return worker != nullptr;
}

void LinkState::stopWorker() {
  if (!worker) return;
  stopSignal.store(true, std::memory_order_release);
  platform::wakeupSignal(workSignal);
  aThread_Destroy(&worker);
  ring.clear();
  stopSignal.store(false, std::memory_order_release);
}

void LinkState::stopStreaming() {
  if (filterInstalled && link) aLink_InstallUserPacketFilter(link, nullptr, nullptr);
  filterInstalled = false;
  {
    std::lock_guard<std::mutex> lock(tableMutex);
    streamTable.clear();
  }
  stopWorker();
}

void LinkState::dispatch(const StreamEntry& entry, const aPacket* packet) {
  if (!entry.callback) return;
  aPacket* copy = aPacket_Copy(packet);
  if (copy && ring.push(entry.callback, entry.ref, copy)) platform::wakeupSignal(workSignal);
}

// Installs the filter and starts the worker while the table has entries;
// removes and stops them when it is empty.
aErr Link::syncStreamFilter() {
  LinkState& s = *state_;
  bool empty;
  {
    std::lock_guard<std::mutex> lock(s.tableMutex);
    empty = s.streamTable.empty();
  }
  if (!empty) {
    if (!s.filterInstalled) {
      if (!s.link) return aErrConnection;
      aErr err = aLink_InstallUserPacketFilter(s.link, linkStreamFilter, &s);
      if (err != aErrNone) return err;
      s.filterInstalled = true;
    }
    return s.startWorker() ? aErrNone : aErrResource;
  }
  s.stopStreaming();
  return aErrNone;
}

// ---- Keys and packets ------------------------------------------------------------

uint64_t Link::createStreamKey(uint8_t module, uint8_t command, uint8_t option, uint8_t index,
                               uint8_t subindex) {
  return static_cast<uint64_t>(subindex) << 32 | static_cast<uint64_t>(module) << 24 |
         static_cast<uint64_t>(command) << 16 | static_cast<uint64_t>(option) << 8 | index;
}

uint8_t Link::getStreamKeyElement(uint64_t key, int element) {
  switch (element) {
    case STREAM_KEY_MODULE:
      return static_cast<uint8_t>(key >> 24);
    case STREAM_KEY_COMMAND:
      return static_cast<uint8_t>(key >> 16);
    case STREAM_KEY_OPTION:
      return static_cast<uint8_t>(key >> 8);
    case STREAM_KEY_INDEX:
      return static_cast<uint8_t>(key);
    case STREAM_KEY_SUBINDEX:
      return static_cast<uint8_t>(key >> 32);
    default:
      return 0;
  }
}

void Link::getTimestampParts(uint64_t timestamp, uint32_t* high, uint32_t* low) {
  if (high) *high = static_cast<uint32_t>(timestamp >> 32);
  if (low) *low = static_cast<uint32_t>(timestamp);
}

bool Link::isStreamPacket(const aPacket* packet) {
  return aVALIDPACKET(packet) && packet->dataSize > 4 && packet->dataSize <= aPACKET_MAXDATA &&
         packet->data[0] != 8 && packet->data[1] < 64 && (packet->data[2] & UEI_SPECIFIER_STREAM);
}

bool Link::isStreamSample(const aPacket* packet) {
  if (!isStreamPacket(packet) || lastByte(packet) != 0) return false;
  uint8_t type = typeByte(packet);
  return type >= 1 && type <= 7 && type != STREAM_PACKET_BYTES &&
         packet->dataSize == kSampleLength[type];
}

bool Link::getStreamPacketType(const aPacket* packet, STREAM_PACKET* type) {
  STREAM_PACKET t = STREAM_PACKET_NONE;
  if (isStreamPacket(packet)) {
    if (lastByte(packet) != 0) t = STREAM_PACKET_BYTES;
    else if (typeByte(packet) >= 1 && typeByte(packet) <= 7) t = static_cast<STREAM_PACKET>(typeByte(packet));
  }
  if (type) *type = t;
  return t != STREAM_PACKET_NONE;
}

bool Link::isSubindexType(STREAM_PACKET type) {
  return type == STREAM_PACKET_SUBINDEX_U8 || type == STREAM_PACKET_SUBINDEX_U16 ||
         type == STREAM_PACKET_SUBINDEX_U32;
}

aErr Link::getStreamSample(const aPacket* packet, uint64_t* timestamp, uint32_t* value,
                           uint8_t* subindex) {
  if (!isStreamPacket(packet)) return aErrPacket;
  if (lastByte(packet) != 0 || typeByte(packet) == STREAM_PACKET_BYTES) return aErrSize;
  if (!isStreamSample(packet)) return aErrPacket;
  STREAM_PACKET type = static_cast<STREAM_PACKET>(typeByte(packet));
  const uint8_t* p = packet->data + 4;
  uint8_t sub = 0;
  if (isSubindexType(type)) sub = *p++;
  uint64_t stamp = bigEndian(p, 8);
  p += 8;
  int width = (type == STREAM_PACKET_U8 || type == STREAM_PACKET_SUBINDEX_U8)     ? 1
              : (type == STREAM_PACKET_U16 || type == STREAM_PACKET_SUBINDEX_U16) ? 2
                                                                                  : 4;
  if (timestamp) *timestamp = stamp;
  if (value) *value = static_cast<uint32_t>(bigEndian(p, width));
  if (subindex) *subindex = sub;
  return aErrNone;
}

bool Link::linkStreamFilter(const aPacket* packet, void* ref) {
  LinkState* s = static_cast<LinkState*>(ref);
  if (!s || !isStreamPacket(packet)) return false;
  uint8_t subindex = 0;
  if (lastByte(packet) == 0) {
    uint8_t type = typeByte(packet);
    if (type < 1 || type > 7) return false;
    if (isSubindexType(static_cast<STREAM_PACKET>(type))) subindex = packet->data[4];
  }
  const uint8_t e[5] = {packet->address, packet->data[0],
                        static_cast<uint8_t>(packet->data[1] & UEI_OPTION_MASK),
                        static_cast<uint8_t>(packet->data[2] & UEI_INDEX_MASK), subindex};
  const uint64_t key = createStreamKey(e[0], e[1], e[2], e[3], e[4]);
  uint32_t value = 0;
  const bool sample = getStreamSample(packet, nullptr, &value, nullptr) == aErrNone;

  std::lock_guard<std::mutex> lock(s->tableMutex);
  auto exact = s->streamTable.find(key);
  if (exact != s->streamTable.end()) {
    s->dispatch(exact->second, packet);
    if (sample) {
      exact->second.value = value;
      exact->second.newValue = true;
    }
  }
  // Wildcard masks over (subindex, command, option, index), counted upwards:
  // index; option; option+index; command; ...; subindex+command+option+index.
  bool wildcardFound = false;
  for (int mask = 1; mask <= 15; ++mask) {
    uint64_t wild = createStreamKey(e[0], (mask & 4) ? W : e[1], (mask & 2) ? W : e[2],
                                    (mask & 1) ? W : e[3], (mask & 8) ? W : e[4]);
    auto it = s->streamTable.find(wild);
    if (it == s->streamTable.end()) continue;
    wildcardFound = true;
    s->dispatch(it->second, packet);
  }
  if (exact == s->streamTable.end() && wildcardFound && sample) {
    StreamEntry entry;
    entry.key = key;
    entry.value = value;
    entry.newValue = true;
    s->streamTable.emplace(key, entry);
  }
  return true;
}

// ---- Registration and the value cache -----------------------------------------------

aErr Link::registerStreamCallback(uint8_t module, uint8_t command, uint8_t option, uint8_t index,
                                  bool enable, streamCallback callback, void* ref) {
  if ((module & 1) || module == W) return aErrParam;
  if (!connectedLink()) return aErrConnection;
  LinkState& s = *state_;
  const uint8_t pattern[5] = {module, command, option, index, W};
  const uint64_t key = createStreamKey(module, command, option, index, W);
  {
    std::lock_guard<std::mutex> lock(s.tableMutex);
    if (enable) {
      StreamEntry& entry = s.streamTable[key];
      entry.key = key;
      entry.callback = callback;
      entry.ref = ref;
    } else {
      eraseKeys(s.streamTable, selectKeys(s.streamTable, pattern));
    }
  }
  aErr err = syncStreamFilter();
  if (err != aErrNone) {
    if (enable) {
      std::lock_guard<std::mutex> lock(s.tableMutex);
      s.streamTable.erase(key);
    }
    return err;
  }

  uei request{};
  request.module = module;
  request.command = cmdSTREAM;
  request.option = static_cast<uint8_t>(UEI_OPTION_SET | (enable ? STREAM_ENABLE : STREAM_DISABLE));
  request.specifier = UEI_SPECIFIER_REQUEST;
  request.type = UEI_TYPE_INT;
  request.value.intVal = static_cast<uint32_t>(module) << 24 | static_cast<uint32_t>(command) << 16 |
                         static_cast<uint32_t>(option) << 8 | index;
  err = sendUEI(request);
  if (err != aErrNone) return err;
  uei reply{};
  err = receiveUEI(module, cmdSTREAM, static_cast<uint8_t>(UEI_OPTION_SET_REPLY | (enable ? STREAM_ENABLE : STREAM_DISABLE)), 0,
                   &reply);
  if (err == aErrNone && (reply.specifier & UEI_SPECIFIER_ERROR)) err = reply.value.byteVal;
  if (err == aErrNone) return aErrNone;
  // Not confirmed: the registration and the values cached under it go.
  {
    std::lock_guard<std::mutex> lock(s.tableMutex);
    eraseKeys(s.streamTable, selectKeys(s.streamTable, pattern));
  }
  syncStreamFilter();
  return err;
}

aErr Link::enableStream(uint8_t module, uint8_t command, uint8_t option, uint8_t index,
                        bool enable) {
  return registerStreamCallback(module, command, option, index, enable, nullptr, nullptr);
}

aErr Link::isLinkStreaming(uint8_t module, uint8_t* status) {
  if (!status) return aErrParam;
  uei request{};
  request.module = module;
  request.command = cmdSTREAM;
  request.option = UEI_OPTION_GET | STREAM_STATUS;
  request.specifier = UEI_SPECIFIER_REQUEST;
  aErr err = sendUEI(request);
  if (err != aErrNone) return err;
  uei reply{};
  err = receiveUEI(module, cmdSTREAM, STREAM_STATUS, 0, &reply);
  if (err != aErrNone) return err;
  if (reply.specifier & UEI_SPECIFIER_ERROR) return reply.value.byteVal;
  *status = reply.value.byteVal;
  return aErrNone;
}

aErr Link::getStreamValue(uint8_t module, uint8_t command, uint8_t option, uint8_t index,
                          uint8_t subindex, uint32_t* value) {
  if (!value) return aErrParam;
  LinkState& s = *state_;
  std::lock_guard<std::mutex> lock(s.tableMutex);
  auto it = s.streamTable.find(createStreamKey(module, command, option, index, subindex));
  if (it == s.streamTable.end()) return aErrNotFound;
  *value = it->second.value;
  if (!it->second.newValue) return aErrStreamStale;
  it->second.newValue = false;
  return aErrNone;
}

std::vector<uint64_t> Link::filterActiveStreamKeys(uint8_t module, uint8_t command, uint8_t option,
                                                   uint8_t index, uint8_t subindex, bool lock) {
  const uint8_t filter[5] = {module, command, option, index, subindex};
  LinkState& s = *state_;
  if (!lock) return selectKeys(s.streamTable, filter);
  std::lock_guard<std::mutex> guard(s.tableMutex);
  return selectKeys(s.streamTable, filter);
}

aErr Link::getStreamStatus(uint8_t module, uint8_t command, uint8_t option, uint8_t index,
                           uint8_t subindex, std::map<uint64_t, uint32_t>* status) {
  if (!status) return aErrParam;
  status->clear();
  const uint8_t filter[5] = {module, command, option, index, subindex};
  LinkState& s = *state_;
  std::lock_guard<std::mutex> lock(s.tableMutex);
  for (uint64_t key : selectKeys(s.streamTable, filter)) {
    uint8_t e[5];
    keyElements(key, e);
    bool concrete = true;
    for (uint8_t element : e) concrete = concrete && element != W;
    if (concrete) (*status)[key] = s.streamTable[key].value;
  }
  return aErrNone;
}

}  // namespace Kelvarion
}  // namespace Mirovane
