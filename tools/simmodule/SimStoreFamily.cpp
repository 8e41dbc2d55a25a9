// Store slots (command 4): capacity and size, opening for reading or
// writing, reading and writing in pieces of up to 25 bytes, closing.
#include <numeric>

#include "SimDevice.h"

namespace simmodule {

namespace {

const uint8_t cmdSTORE = 4;
enum : uint8_t { CAPACITY = 1, SIZE = 2, OPEN_READ = 3, OPEN_WRITE = 4, READ = 6, WRITE = 7, CLOSE = 8, ERROR = 0x80 };
const size_t kChunk = 25;

// Error reply for options 1-4: 4, option|0x80, store, slot, code.
void slotError(Module& module, uint8_t option, uint8_t store, uint8_t slot, uint8_t code) {
  module.send({cmdSTORE, static_cast<uint8_t>(option | ERROR), store, slot, code});
}

// Error reply for options 6-8: 4, option|0x80, handle, code.
void handleError(Module& module, uint8_t option, uint8_t handle, uint8_t code) {
  module.send({cmdSTORE, static_cast<uint8_t>(option | ERROR), handle, code});
}

void slotRequest(Module& module, DeviceState& state, const Packet& p) {
  uint8_t option = p.data[1], store = p.data[2], slot = p.data[3];
  auto it = state.slots.find(std::make_pair(store, slot));
  if (it == state.slots.end()) {
    slotError(module, option, store, slot, kErrNotFound);
    return;
  }
  if (option == CAPACITY || option == SIZE) {
    uint32_t n = option == CAPACITY ? it->second.capacity : static_cast<uint32_t>(it->second.data.size());
    module.send({cmdSTORE, option, store, slot, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
    return;
  }
  uint8_t handle = state.nextHandle;
  state.nextHandle = static_cast<uint8_t>(state.nextHandle % 200 + 1);
  state.handles[handle] = OpenSlot{store, slot, option == OPEN_WRITE, 0, {}};
  module.send({cmdSTORE, option, store, slot, handle});
}

void handleRequest(Module& module, DeviceState& state, const Packet& p) {
  uint8_t option = p.data[1], handle = p.data[2];
  auto open = state.handles.find(handle);
  if (open == state.handles.end()) {
    handleError(module, option, handle, kErrNotFound);
    return;
  }
  OpenSlot& o = open->second;
  StoreSlot& slot = state.slots[std::make_pair(o.store, o.slot)];
  if (option == READ) {
    size_t n = o.position < slot.data.size() ? std::min(kChunk, slot.data.size() - o.position) : 0;
    std::vector<uint8_t> reply = {cmdSTORE, READ, handle};
    reply.insert(reply.end(), slot.data.begin() + o.position, slot.data.begin() + o.position + n);
    o.position += n;
    module.send(reply.data(), reply.size());
  } else if (option == WRITE) {
    if (!o.writing || o.pending.size() + (p.length - 3u) > slot.capacity) {
      handleError(module, WRITE, handle, kErrOverrun);
      return;
    }
    o.pending.insert(o.pending.end(), p.data + 3, p.data + p.length);
    uint8_t sum = static_cast<uint8_t>(std::accumulate(p.data + 3, p.data + p.length, 0u));
    module.send({cmdSTORE, WRITE, handle, sum});
  } else if (option == CLOSE) {
    if (o.writing) slot.data = o.pending;
    state.handles.erase(open);
    module.send({cmdSTORE, CLOSE, handle, 0});
  }
}

void handleStore(Module& module, const Packet& p) {
  DeviceState& state = deviceState(module);
  std::lock_guard<std::mutex> guard(state.lock);
  if (takeScripted(module, state, p) || p.length < 3) return;
  uint8_t option = p.data[1];
  if (option >= CAPACITY && option <= OPEN_WRITE && p.length == 4) slotRequest(module, state, p);
  else if (option >= READ && option <= CLOSE) handleRequest(module, state, p);
}

}  // namespace

void installStoreFamily(Module& module) {
  deviceState(module);
  module.onCommand(cmdSTORE, handleStore);
}

void setStoreSlot(Module& module, uint8_t store, uint8_t slot, const std::vector<uint8_t>& data, uint32_t capacity) {
  DeviceState& state = deviceState(module);
  std::lock_guard<std::mutex> guard(state.lock);
  state.slots[std::make_pair(store, slot)] = StoreSlot{data, capacity};
}

bool getStoreSlot(Module& module, uint8_t store, uint8_t slot, std::vector<uint8_t>* data) {
  DeviceState& state = deviceState(module);
  std::lock_guard<std::mutex> guard(state.lock);
  auto it = state.slots.find(std::make_pair(store, slot));
  if (it == state.slots.end()) return false;
  *data = it->second.data;
  return true;
}

}  // namespace simmodule
