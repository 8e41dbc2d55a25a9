// Stream registration (command 93): enabling and disabling the streaming of
// an entity option, and the streaming status. Stream samples themselves are
// sent by whoever drives the module (makeStreamSample).
#include "SimDevice.h"

namespace simmodule {

namespace {

const uint8_t cmdSTREAM = 93;
enum : uint8_t { ENABLE = 0x81, DISABLE = 0x82, STATUS = 0x41, SET_REPLY = 0xC0, ERROR = 0x80 };

void handleStream(Module& module, const Packet& p) {
  DeviceState& state = deviceState(module);
  std::lock_guard<std::mutex> guard(state.lock);
  if (takeScripted(module, state, p) || p.length < 3) return;
  uint8_t option = p.data[1];
  if (option == STATUS) {
    module.send({cmdSTREAM, 1, 0, static_cast<uint8_t>(state.streams.empty() ? 0 : 1)});
    return;
  }
  if ((option != ENABLE && option != DISABLE) || p.length != 7 || state.streamSilent) return;
  uint8_t reply = static_cast<uint8_t>(SET_REPLY | (option & 0x3F));
  if (state.streamRefusal) {
    module.send({cmdSTREAM, reply, ERROR, state.streamRefusal});
    return;
  }
  uint32_t word = static_cast<uint32_t>(p.data[3]) << 24 | static_cast<uint32_t>(p.data[4]) << 16 |
                  static_cast<uint32_t>(p.data[5]) << 8 | p.data[6];
  if (option == ENABLE) state.streams.insert(word);
  else state.streams.erase(word);
  module.send({cmdSTREAM, reply, 0});
}

}  // namespace

void installStreamFamily(Module& module) {
  deviceState(module);
  module.onCommand(cmdSTREAM, handleStream);
}

void setStreamRefusal(Module& module, uint8_t code, bool silent) {
  DeviceState& state = deviceState(module);
  std::lock_guard<std::mutex> guard(state.lock);
  state.streamRefusal = code;
  state.streamSilent = silent;
}

std::set<uint32_t> streamRegistrations(Module& module) {
  DeviceState& state = deviceState(module);
  std::lock_guard<std::mutex> guard(state.lock);
  return state.streams;
}

Packet makeStreamSample(uint8_t address, uint8_t command, uint8_t option, uint8_t index, uint8_t type,
                        uint64_t timestamp, uint32_t value, uint8_t subindex) {
  std::vector<uint8_t> d = {command, option, static_cast<uint8_t>(0x40 | index), type};
  if (type == 4) {
    // A byte sequence: the value's bytes, the last of them non-zero.
    for (int shift = 24; shift >= 0; shift -= 8) d.push_back(static_cast<uint8_t>(value >> shift));
    d.push_back(0x01);
    return Packet::make(address, d.data(), d.size());
  }
  if (type >= 5) d.push_back(subindex);
  for (int shift = 56; shift >= 0; shift -= 8) d.push_back(static_cast<uint8_t>(timestamp >> shift));
  int width = (type == 1 || type == 5) ? 1 : (type == 2 || type == 6) ? 2 : 4;
  for (int shift = 8 * (width - 1); shift >= 0; shift -= 8) d.push_back(static_cast<uint8_t>(value >> shift));
  d.push_back(0);
  return Packet::make(address, d.data(), d.size());
}

}  // namespace simmodule
