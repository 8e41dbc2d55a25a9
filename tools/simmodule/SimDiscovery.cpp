// The module's side of TCP/IP discovery, and the device options of the executable.
#include "SimDiscovery.h"

#include <cstring>

#include "SimDevice.h"

namespace simmodule {

namespace {

const uint16_t kRequestPort = 9888;
const uint16_t kAnswerPort = 9889;
const uint8_t kGroup[4] = {232, 2, 2, 2};
const uint32_t kSliceMs = 50;

bool parseNumber(const std::string& text, uint64_t maximum, uint64_t* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  unsigned long long value = strtoull(text.c_str(), &end, 0);
  if (*end != '\0' || value > maximum) return false;
  *out = value;
  return true;
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1)
    parts.push_back(text.substr(start, at - start));
  parts.push_back(text.substr(start));
  return parts;
}

bool parseBehind(const std::string& text, ModuleConfig* module) {
  std::vector<std::string> parts = split(text, ':');
  uint64_t address, serial, model, build = module->build;
  if (parts.size() < 3 || parts.size() > 5 || !parseNumber(parts[0], 0xFE, &address) || address == 0 ||
      address % 2 != 0 || !parseNumber(parts[1], 0xFFFFFFFFu, &serial) || !parseNumber(parts[2], 0xFF, &model))
    return false;
  if (parts.size() >= 4 && !parseFirmwareVersion(parts[3], &module->firmwareVersion)) return false;
  if (parts.size() == 5 && !parseNumber(parts[4], 0xFFFFFFFFu, &build)) return false;
  module->address = static_cast<uint8_t>(address);
  module->serialNumber = static_cast<uint32_t>(serial);
  module->model = static_cast<uint8_t>(model);
  module->build = static_cast<uint32_t>(build);
  return true;
}

}  // namespace

DiscoveryResponder::DiscoveryResponder(const ModuleConfig& module, uint16_t tcpPort)
    : module_(module), tcpPort_(tcpPort) {}

DiscoveryResponder::~DiscoveryResponder() { stop(); }

std::vector<uint8_t> DiscoveryResponder::answer(const ModuleConfig& module, uint16_t tcpPort) {
  std::vector<uint8_t> a(16, 0);
  a[0] = 2;
  a[1] = module.address;
  a[2] = static_cast<uint8_t>(tcpPort);
  a[3] = static_cast<uint8_t>(tcpPort >> 8);
  for (int i = 0; i < 4; ++i) a[4 + i] = static_cast<uint8_t>(module.serialNumber >> (8 * i));
  a[12] = module.model;
  return a;
}

bool DiscoveryResponder::start(uint32_t interfaceAddress) {
  socket_ = aUdp_Open();
  uint32_t group;
  std::memcpy(&group, kGroup, sizeof group);
  if (!socket_ || aUdp_Bind(socket_, 0, kRequestPort, true) != aErrNone ||
      aUdp_JoinGroup(socket_, group, interfaceAddress) != aErrNone) {
    if (socket_) aUdp_Close(&socket_);
    return false;
  }
  stop_ = false;
  thread_ = std::thread(&DiscoveryResponder::run, this);
  return true;
}

void DiscoveryResponder::stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (socket_) aUdp_Close(&socket_);
}

void DiscoveryResponder::run() {
  const std::vector<uint8_t> reply = answer(module_, tcpPort_);
  while (!stop_) {
    uint8_t request[64];
    size_t length = 0;
    uint32_t from = 0;
    if (aUdp_ReceiveFrom(socket_, request, sizeof request, &length, &from, nullptr, kSliceMs) != aErrNone) continue;
    if (length != 16 || request[0] != 1) continue;
    if (simulator_ && simulator_->offline()) continue;
    aUdpSocketRef out = aUdp_Open();
    if (!out) continue;
    if (aUdp_SendTo(out, from, kAnswerPort, reply.data(), reply.size()) == aErrNone) ++answered_;
    aUdp_Close(&out);
  }
}

bool applyDeviceSetting(const std::string& key, const std::string& value, DeviceOptions* options, bool* handled,
                        std::string* error) {
  *handled = true;
  bool ok = true;
  if (key == "discovery") {
    ok = value == "on" || value == "off";
    options->discovery = value == "on";
  } else if (key == "behind") {
    ModuleConfig module;
    ok = parseBehind(value, &module);
    if (ok) options->behind.push_back(module);
  } else if (key == "absent") {
    ok = value == "error" || value == "silent";
    options->absentErrors = value == "error";
  } else {
    *handled = false;
    return true;
  }
  if (!ok && error) *error = "bad value \"" + value + "\" for " + key;
  return ok;
}

void addNetworkModules(Simulator& simulator, const DeviceOptions& options) {
  for (const ModuleConfig& module : options.behind) simulator.addModule(module);
  if (!options.absentErrors) return;
  for (unsigned address = 2; address <= 254; address += 2) {
    if (simulator.moduleAt(static_cast<uint8_t>(address))) continue;
    ModuleConfig empty;
    empty.address = static_cast<uint8_t>(address);
    Module& absent = simulator.addModule(empty);
    setUeiError(absent, 3, 9, kErrNotFound);
  }
}

}  // namespace simmodule
