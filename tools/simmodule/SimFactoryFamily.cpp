// Factory data (command 0x5E): reading and writing one selector's bytes in
// pieces of up to 26, closed by a packet with the transfer's byte count.
#include "SimDevice.h"

namespace simmodule {

namespace {

const uint8_t cmdFACTORY = 0x5E;
enum : uint8_t { SELECTOR = 0x0F, WRITE = 0x10, CLOSE = 0x20, FIRST = 0x40, ERROR = 0x80 };
const size_t kChunk = 26;

void closeTransfer(Module& module, DeviceState& state, const Packet& p) {
  uint8_t c = state.factorySelector;
  if (p.length != 4) {
    module.send({cmdFACTORY, static_cast<uint8_t>(CLOSE | ERROR | c), kErrSize});
    return;
  }
  size_t total = static_cast<size_t>(p.data[2]) << 8 | p.data[3];
  bool writing = state.factoryWriting;
  size_t expected = writing ? state.factoryPending.size() : state.factoryPosition;
  if (total != expected) {
    module.send({cmdFACTORY, static_cast<uint8_t>(CLOSE | ERROR | c), kErrSize});
    state.factoryPosition = 0;
    state.factoryPending.clear();
    return;
  }
  if (writing) state.factory[c] = state.factoryPending;
  module.send({cmdFACTORY, static_cast<uint8_t>(CLOSE | c)});
  // The next transfer starts afresh (a write of nothing sends only the close).
  state.factoryPosition = 0;
  state.factoryPending.clear();
  state.factoryWriting = false;
}

void handleFactory(Module& module, const Packet& p) {
  DeviceState& state = deviceState(module);
  std::lock_guard<std::mutex> guard(state.lock);
  if (takeScripted(module, state, p) || p.length < 2) return;
  uint8_t option = p.data[1];
  if (option & CLOSE) {
    closeTransfer(module, state, p);
    return;
  }
  uint8_t c = option & SELECTOR;
  if (option & FIRST) {
    state.factorySelector = c;
    state.factoryPosition = 0;
    state.factoryPending.clear();
    state.factoryWriting = (option & WRITE) != 0;
  }
  if (option & WRITE) {
    state.factoryPending.insert(state.factoryPending.end(), p.data + 2, p.data + p.length);
    module.send({cmdFACTORY, static_cast<uint8_t>(WRITE | c)});
    return;
  }
  const std::vector<uint8_t>& data = state.factory[c];
  size_t n = state.factoryPosition < data.size() ? std::min(kChunk, data.size() - state.factoryPosition) : 0;
  std::vector<uint8_t> reply = {cmdFACTORY, c};
  reply.insert(reply.end(), data.begin() + state.factoryPosition, data.begin() + state.factoryPosition + n);
  state.factoryPosition += n;
  module.send(reply.data(), reply.size());
}

}  // namespace

void installFactoryFamily(Module& module) {
  deviceState(module);
  module.onCommand(cmdFACTORY, handleFactory);
}

void setFactoryData(Module& module, uint8_t selector, const std::vector<uint8_t>& data) {
  DeviceState& state = deviceState(module);
  std::lock_guard<std::mutex> guard(state.lock);
  state.factory[selector] = data;
}

std::vector<uint8_t> getFactoryData(Module& module, uint8_t selector) {
  DeviceState& state = deviceState(module);
  std::lock_guard<std::mutex> guard(state.lock);
  return state.factory[selector];
}

}  // namespace simmodule
