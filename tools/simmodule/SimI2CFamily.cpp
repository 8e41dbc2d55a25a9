// I2C buses (command 8, raw packets): reads answer a counting pattern,
// writes and pull-up changes are acknowledged. Replies repeat the request's
// first four bytes and add a status byte (0 = done) and, for reads, the data.
#include "SimDevice.h"

namespace simmodule {

namespace {

const uint8_t cmdI2C = 8;

void handleI2C(Module& module, const Packet& p) {
  DeviceState& state = deviceState(module);
  std::lock_guard<std::mutex> guard(state.lock);
  if (takeScripted(module, state, p) || p.length < 4) return;
  if (p.length == 4 && p.data[2] == 1) {  // pull-up: 8, index, 1, on/off
    module.send({cmdI2C, p.data[1], 1, p.data[3], 0});
    return;
  }
  if (p.length < 5) return;
  std::vector<uint8_t> reply(p.data, p.data + 4);
  reply.push_back(0);
  if (p.data[2] & 1)
    for (uint8_t i = 0; i < p.data[3] && reply.size() < kMaxData; ++i) reply.push_back(static_cast<uint8_t>(0xA0 + i));
  module.send(reply.data(), reply.size());
}

}  // namespace

void installI2CFamily(Module& module) {
  deviceState(module);
  module.onCommand(cmdI2C, handleI2C);
}

}  // namespace simmodule
