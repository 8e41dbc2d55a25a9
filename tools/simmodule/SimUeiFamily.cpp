// UEI get and set for every entity class of a simulated module, with the
// system entity's values taken from the module's configuration; the shared
// device state and its controls.
#include <cstring>

#include "SimDevice.h"

namespace simmodule {

namespace {

const char kState[] = "device";

// Command codes of the entity classes.
const uint8_t kEntityCommands[] = {3, 5, 6, 7, 13, 14, 15, 18, 30, 31, 32, 33, 34, 35, 36, 37, 38, 77, 79, 83};

enum : uint8_t { OPTION_MASK = 0x3F, GET = 0x40, SET = 0x80, SET_REPLY = 0xC0, INDEX_MASK = 0x1F, ERROR = 0x80 };

const uint8_t cmdSYSTEM = 3;
const uint8_t cmdAPP = 5;
const char kModuleName[] = "Simulated module";

void putValue(std::vector<uint8_t>& bytes, const UeiValue& v) {
  for (int shift = 8 * (v.width - 1); shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(v.value >> shift));
}

uint32_t bigEndian(const uint8_t* bytes, size_t count) {
  uint32_t value = 0;
  for (size_t i = 0; i < count; ++i) value = value << 8 | bytes[i];
  return value;
}

// A byte list answers a get in packets of up to 24 bytes, each ending with
// its sequence number (bit 7 set on all but the last).
void sendByteList(Module& module, uint8_t command, uint8_t option, uint8_t index, const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  uint8_t sequence = 0;
  do {
    size_t n = std::min<size_t>(bytes.size() - done, kMaxData - 4);
    std::vector<uint8_t> reply = {command, option, index};
    reply.insert(reply.end(), bytes.begin() + done, bytes.begin() + done + n);
    done += n;
    reply.push_back(static_cast<uint8_t>((sequence++ & 0x7F) | (done < bytes.size() ? 0x80 : 0)));
    module.send(reply.data(), reply.size());
  } while (done < bytes.size());
}

void handleGet(Module& module, DeviceState& state, const Packet& p, uint8_t option, uint8_t index) {
  int subindex = p.length >= 4 ? p.data[3] : -1;
  auto it = state.values.find(UeiKey(p.data[0], option, index, subindex));
  if (it != state.values.end()) {
    std::vector<uint8_t> reply = {p.data[0], option, index};
    putValue(reply, it->second);
    module.send(reply.data(), reply.size());
    return;
  }
  auto list = state.byteLists.find(std::make_tuple(p.data[0], option, index));
  if (list != state.byteLists.end()) {
    sendByteList(module, p.data[0], option, index, list->second);
    return;
  }
  module.send({p.data[0], option, static_cast<uint8_t>(index | ERROR), kErrInvalidOption});
}

// A set updates a value the module has in the width it has; every set is
// acknowledged.
void handleSet(Module& module, DeviceState& state, const Packet& p, uint8_t option, uint8_t index) {
  auto plain = state.values.find(UeiKey(p.data[0], option, index, -1));
  if (plain != state.values.end() && p.length == 3 + plain->second.width)
    plain->second.value = bigEndian(p.data + 3, plain->second.width);
  if (p.length >= 4) {
    auto sub = state.values.find(UeiKey(p.data[0], option, index, p.data[3]));
    if (sub != state.values.end() && p.length == 4 + sub->second.width)
      sub->second.value = bigEndian(p.data + 4, sub->second.width);
  }
  if (p.data[0] == cmdSYSTEM && option == 20 && p.length == 4) state.routeToMe = p.data[3];
  module.send({p.data[0], static_cast<uint8_t>(option | SET_REPLY), index});
  // An application routine answers on option 2 with its parameter plus one.
  if (p.data[0] == cmdAPP && option == 1 && p.length == 7) {
    uint32_t answer = bigEndian(p.data + 3, 4) + 1;
    module.send({cmdAPP, 2, index, static_cast<uint8_t>(answer >> 24), static_cast<uint8_t>(answer >> 16),
                 static_cast<uint8_t>(answer >> 8), static_cast<uint8_t>(answer)});
  }
}

void handleUei(Module& module, const Packet& p) {
  DeviceState& state = deviceState(module);
  std::lock_guard<std::mutex> guard(state.lock);
  if (takeScripted(module, state, p) || p.length < 3) return;
  uint8_t option = p.data[1] & OPTION_MASK;
  uint8_t index = p.data[2] & INDEX_MASK;
  bool set = (p.data[1] & SET) != 0;
  if (!set && !(p.data[1] & GET)) return;
  auto error = state.errors.find(std::make_pair(p.data[0], option));
  if (error != state.errors.end()) {
    module.send({p.data[0], static_cast<uint8_t>(set ? option | SET_REPLY : option), static_cast<uint8_t>(index | ERROR),
                 error->second});
    return;
  }
  if (set) handleSet(module, state, p, option, index);
  else handleGet(module, state, p, option, index);
}

void seedSystemValues(Module& module, DeviceState& state) {
  const ModuleConfig& c = module.config();
  uint8_t router = module.simulator().primary().address();
  state.values[UeiKey(cmdSYSTEM, 1, 0, -1)] = {1, c.address};
  state.values[UeiKey(cmdSYSTEM, 2, 0, -1)] = {1, router};
  state.values[UeiKey(cmdSYSTEM, 7, 0, -1)] = {4, c.firmwareVersion};
  state.values[UeiKey(cmdSYSTEM, 8, 0, -1)] = {1, c.model};
  state.values[UeiKey(cmdSYSTEM, 9, 0, -1)] = {4, c.serialNumber};
  for (int i = 0; i < 4; ++i)
    state.values[UeiKey(cmdSYSTEM, 39, 0, i)] = {4, c.identifier[i]};
  state.byteLists[std::make_tuple(cmdSYSTEM, 32, 0)] =
      std::vector<uint8_t>(kModuleName, kModuleName + sizeof kModuleName - 1);
}

}  // namespace

DeviceState& deviceState(Module& module) { return module.state<DeviceState>(kState); }

bool takeScripted(Module& module, DeviceState& state, const Packet& packet) {
  state.requests.push_back(packet);
  if (packet.length == 0) return false;
  auto it = state.scripts.find(packet.data[0]);
  if (it == state.scripts.end() || it->second.empty()) return false;
  for (const auto& reply : it->second.front()) module.send(reply.data(), reply.size());
  it->second.pop_front();
  return true;
}

void installUeiFamily(Module& module) {
  DeviceState& state = deviceState(module);
  seedSystemValues(module, state);
  for (uint8_t command : kEntityCommands) module.onCommand(command, handleUei);
}

// ---- Controls ------------------------------------------------------------------

void setUeiValue(Module& module, uint8_t command, uint8_t option, uint8_t index, int subindex, uint8_t width,
                 uint32_t value) {
  DeviceState& state = deviceState(module);
  std::lock_guard<std::mutex> guard(state.lock);
  state.values[UeiKey(command, option, index, subindex)] = {width, value};
}

bool getUeiValue(Module& module, uint8_t command, uint8_t option, uint8_t index, int subindex, UeiValue* value) {
  DeviceState& state = deviceState(module);
  std::lock_guard<std::mutex> guard(state.lock);
  auto it = state.values.find(UeiKey(command, option, index, subindex));
  if (it == state.values.end()) return false;
  *value = it->second;
  return true;
}

void setUeiBytes(Module& module, uint8_t command, uint8_t option, uint8_t index, const std::vector<uint8_t>& bytes) {
  DeviceState& state = deviceState(module);
  std::lock_guard<std::mutex> guard(state.lock);
  state.byteLists[std::make_tuple(command, option, index)] = bytes;
}

void setUeiError(Module& module, uint8_t command, uint8_t option, uint8_t code) {
  DeviceState& state = deviceState(module);
  std::lock_guard<std::mutex> guard(state.lock);
  if (code) state.errors[std::make_pair(command, option)] = code;
  else state.errors.erase(std::make_pair(command, option));
}

void scriptReplies(Module& module, uint8_t command, const std::vector<std::vector<uint8_t>>& replies) {
  DeviceState& state = deviceState(module);
  std::lock_guard<std::mutex> guard(state.lock);
  state.scripts[command].push_back(replies);
}

std::vector<Packet> takeRequests(Module& module) {
  DeviceState& state = deviceState(module);
  std::lock_guard<std::mutex> guard(state.lock);
  std::vector<Packet> requests;
  requests.swap(state.requests);
  return requests;
}

uint8_t routeToMe(Module& module) {
  DeviceState& state = deviceState(module);
  std::lock_guard<std::mutex> guard(state.lock);
  return state.routeToMe;
}

}  // namespace simmodule
