// Command 95 on a simulated module, and its restarts.
#include <cstdio>

#include "SimDevice.h"
#include "SimUpgrade.h"

namespace simmodule {
namespace {
constexpr uint8_t kUpgrade = 95;
constexpr uint8_t kSystem = 3;
constexpr uint8_t kSystemVersion = 7;
constexpr uint8_t kSystemSerial = 9;

uint32_t nextVersion(uint32_t packed) {
  return (packed & 0xFF000000u) | (((packed & 0x00FFFFFFu) + 1) & 0x00FFFFFFu);
}

void reboot(Module& module, UpgradeState& state) {
  ++state.reboots;
  if (!state.settings.flashOut.empty() && !state.loader.saveFlash(state.settings.flashOut))
    fprintf(stderr, "simmodule: cannot save the flash image to %s\n", state.settings.flashOut.c_str());
  ModuleConfig& config = module.config();
  config.firmwareVersion = state.settings.newFirmwareVersion ? state.settings.newFirmwareVersion
                                                             : nextVersion(config.firmwareVersion);
  config.build = state.settings.newBuild ? state.settings.newBuild : config.build + 1;
  setUeiValue(module, kSystem, kSystemVersion, 0, -1, 4, config.firmwareVersion);
  // A module behind a routing module restarts without taking the router's
  // link down with it; the primary module is the endpoint and drops it.
  if (&module == &module.simulator().primary())
    module.simulator().goOffline(state.settings.faults.rebootDelayMs);
}

void handleUpgrade(Module& module, const Packet& packet) {
  UpgradeState& state = upgradeState(module);
  state.announcePending = false;  // the host is talking to the loader again
  if (packet.length >= 2 && packet.data[1] == 0) state.initMs = Simulator::nowMs();
  if (packet.length >= 2 && packet.data[1] == 6) state.rebootMs = Simulator::nowMs();
  const LoaderResult result = state.loader.handle(packet.data, packet.length);
  for (const std::vector<uint8_t>& reply : result.replies) module.send(reply.data(), reply.size());
  switch (result.action) {
    case LoaderAction::None:
      break;
    case LoaderAction::DropLink:
      module.simulator().goOffline(0);
      break;
    case LoaderAction::DropAndAnnounce:
      state.announcePending = true;
      state.announceAtMs = 0;
      state.announcements = 0;
      state.linkStartsAtDrop = module.simulator().currentStats().linkStarts;
      module.simulator().goOffline(state.settings.faults.rebootDelayMs);
      break;
    case LoaderAction::Reboot:
      reboot(module, state);
      break;
  }
}

// After a dropping LOAD the loader announces itself once the host has started
// the link again and settled (100 ms later, as a loader that has just booted),
// and again every 200 ms until the host sends its next upgrade request (at
// most ten times): the host claims replies by content and lets other packets
// go, so one announcement could pass it by while it is still busy with the
// module-address query.
void announceWhenBack(Module& module, uint64_t nowMs) {
  UpgradeState& state = upgradeState(module);
  if (!state.announcePending) return;
  if (module.simulator().currentStats().linkStarts == state.linkStartsAtDrop) return;
  if (state.announceAtMs == 0) state.announceAtMs = nowMs + 100;
  if (nowMs < state.announceAtMs) return;
  state.announceAtMs = nowMs + 200;
  if (++state.announcements >= 10) state.announcePending = false;
  const std::vector<uint8_t> announcement = SimLoader::loadAnnouncement();
  module.send(announcement.data(), announcement.size());
}

}  // namespace

UpgradeState& upgradeState(Module& module) { return module.state<UpgradeState>("upgrade"); }

void installUpgradeFamily(Module& module) {
  module.onCommand(kUpgrade, handleUpgrade);
  module.addTicker(announceWhenBack);
}

void configureUpgrade(Simulator& simulator, const UpgradeSettings& settings) {
  inspectUpgrade(simulator, [&](UpgradeState& state) {
    state.settings = settings;
    state.loader.setFaults(settings.faults);
    Module& module = simulator.primary();
    setUeiValue(module, kSystem, kSystemSerial, 0, -1, 4,
                settings.reportedSerial ? settings.reportedSerial : module.config().serialNumber);
  });
}

void inspectUpgrade(Simulator& simulator, const std::function<void(UpgradeState&)>& f,
                    uint8_t address) {
  simulator.withLock([&] {
    Module* module = address ? simulator.moduleAt(address) : &simulator.primary();
    if (module) f(upgradeState(*module));
  });
}

}  // namespace simmodule
