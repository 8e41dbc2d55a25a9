// Packets and the per-module command registry.
#include <algorithm>

#include "SimModule.h"

namespace simmodule {

Packet Packet::make(uint8_t address, const uint8_t* bytes, size_t count) {
  Packet packet;
  packet.address = address;
  packet.length = static_cast<uint8_t>(std::min<size_t>(count, kMaxData));
  std::copy(bytes, bytes + packet.length, packet.data);
  return packet;
}

Packet Packet::make(uint8_t address, std::initializer_list<uint8_t> bytes) {
  return make(address, bytes.begin(), bytes.size());
}

std::vector<uint8_t> Packet::wire() const {
  std::vector<uint8_t> bytes;
  bytes.reserve(length + 2u);
  bytes.push_back(address);
  bytes.push_back(length);
  bytes.insert(bytes.end(), data, data + length);
  return bytes;
}

Module::Module(Simulator& simulator, const ModuleConfig& config) : simulator_(simulator), config_(config) {}

void Module::onCommand(uint8_t command, Handler handler) {
  handlers_[command] = std::move(handler);
}

bool Module::handles(uint8_t command) const {
  return handlers_.count(command) != 0;
}

void Module::addTicker(Ticker ticker) {
  tickers_.push_back(std::move(ticker));
}

void Module::send(const uint8_t* data, size_t length) {
  simulator_.queueOutput(Packet::make(config_.address, data, length));
}

void Module::send(std::initializer_list<uint8_t> data) {
  send(data.begin(), data.size());
}

bool Module::dispatch(const Packet& packet) {
  if (packet.length == 0)
    return false;
  auto it = handlers_.find(packet.data[0]);
  if (it == handlers_.end())
    return false;
  it->second(*this, packet);
  return true;
}

void Module::tick(uint64_t nowMs) {
  for (Ticker& ticker : tickers_)
    ticker(*this, nowMs);
}

}  // namespace simmodule
