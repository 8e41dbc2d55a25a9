#ifndef SIMMODULE_SIMUPGRADE_H
#define SIMMODULE_SIMUPGRADE_H
// The upgrade family (command 95) of a simulated module: its loader answers
// the upgrade protocol (SimLoader), and REBOOT restarts the module: the host's
// connection is closed, the module is away for a while, and it comes back
// running the new firmware version and build, with the flash image saved
// where asked.
#include <cstdint>
#include <functional>
#include <string>

#include "SimLoader.h"
#include "SimModule.h"

namespace simmodule {

struct UpgradeSettings {
  LoaderFaults faults;
  uint32_t newFirmwareVersion = 0;  // after REBOOT; 0 = the running one with patch + 1
  uint32_t newBuild = 0;            // after REBOOT; 0 = the running build + 1
  std::string flashOut;             // file the flash image is saved to on REBOOT
  uint32_t reportedSerial = 0;      // fault: serial number the system entity reports (0 = real)
};

struct UpgradeState {
  SimLoader loader;
  UpgradeSettings settings;
  bool announcePending = false;  // LOAD dropped the link: announce once the host is back
  uint32_t linkStartsAtDrop = 0;
  uint64_t announceAtMs = 0;     // next announcement
  uint32_t announcements = 0;    // sent since the drop
  uint32_t reboots = 0;
  uint64_t initMs = 0;    // when the last INIT arrived (simulator clock)
  uint64_t rebootMs = 0;  // when the last REBOOT arrived
};

// Registers command 95 on the module.
void installUpgradeFamily(Module& module);
// The family's state (call with the simulator's lock held, or before start).
UpgradeState& upgradeState(Module& module);
// Sets the settings of the primary module (any thread).
void configureUpgrade(Simulator& simulator, const UpgradeSettings& settings);
// Runs f on the upgrade state of the module at address (0: the primary)
// under the simulator's lock; nothing when there is no such module.
void inspectUpgrade(Simulator& simulator, const std::function<void(UpgradeState&)>& f,
                    uint8_t address = 0);

// key=value settings of the family (keys: loader-block-size, prepare-status,
// prepare-error-at, wrong-count-at, wrong-count-repeats, sum-off-at,
// write-status, silent-upgrade (comma-separated option numbers), drop-at-data,
// drop-on-load, ignore-reboot, reboot-delay, new-firmware, new-build, flash-out,
// reported-serial). False for a key that is not the family's (*known false)
// or a bad value (*known true, *error set).
bool applyUpgradeSetting(const std::string& key, const std::string& value, UpgradeSettings* settings,
                         bool* known, std::string* error);

}  // namespace simmodule

#endif
