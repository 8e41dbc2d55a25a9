// Module queries (command 73: build number, implemented UEIs, class and
// entity counts, entity groups) and the debug echo (command 23).
#include "SimDevice.h"

namespace simmodule {

namespace {

const uint8_t cmdQUERY = 73;
const uint8_t cmdDEBUG = 23;
enum : uint8_t { QUERY_HAS_UEI = 1, QUERY_CLASS_QUANTITY = 4, QUERY_SUBCLASS_QUANTITY = 5, QUERY_ENTITY_GROUP = 6,
                 QUERY_BUILD = 0xFF };

void handleQuery(Module& module, const Packet& p) {
  DeviceState& state = deviceState(module);
  std::lock_guard<std::mutex> guard(state.lock);
  if (takeScripted(module, state, p) || p.length < 2) return;
  const uint8_t* d = p.data;
  switch (d[1]) {
    case QUERY_BUILD: {
      uint32_t build = module.config().build;
      module.send({cmdQUERY, QUERY_BUILD, static_cast<uint8_t>(build >> 24), static_cast<uint8_t>(build >> 16),
                   static_cast<uint8_t>(build >> 8), static_cast<uint8_t>(build)});
      break;
    }
    case QUERY_HAS_UEI:
      // Every class the module answers implements every option in both modes.
      if (p.length == 6)
        module.send({cmdQUERY, QUERY_HAS_UEI, d[2], d[3], d[4],
                     static_cast<uint8_t>(module.handles(d[2]) ? 0 : kErrInvalidEntity)});
      break;
    case QUERY_CLASS_QUANTITY:
      if (p.length == 3) module.send({cmdQUERY, QUERY_CLASS_QUANTITY, d[2], static_cast<uint8_t>(module.handles(d[2]))});
      break;
    case QUERY_SUBCLASS_QUANTITY:
      if (p.length == 4) module.send({cmdQUERY, QUERY_SUBCLASS_QUANTITY, d[2], d[3], 1});
      break;
    case QUERY_ENTITY_GROUP:
      if (p.length == 4) module.send({cmdQUERY, QUERY_ENTITY_GROUP, d[2], d[3], static_cast<uint8_t>(d[2] & 0x0F)});
      break;
    default:
      break;
  }
}

void handleDebug(Module& module, const Packet& p) {
  DeviceState& state = deviceState(module);
  std::lock_guard<std::mutex> guard(state.lock);
  if (takeScripted(module, state, p)) return;
  module.send(p.data, p.length);
}

}  // namespace

void installQueryFamily(Module& module) {
  deviceState(module);
  module.onCommand(cmdQUERY, handleQuery);
  module.onCommand(cmdDEBUG, handleDebug);
}

}  // namespace simmodule
