// -U: replace the firmware of one running module. The road reads top down in
// updateDevice: open the store once, choose and load the BIRD file once,
// patch the module's serial number into it, connect, check that file and
// module belong together, transfer the images (upgrade/UpgradeStages) and
// record the transfer in the module's attribute file.
#include <optional>
#include <stdexcept>

#include "BirdFile.h"
#include "BuildNumber.h"
#include "Module.h"
#include "UpdaterApp.h"
#include "UpdaterDisplay.h"
#include "aTime.h"
#include "store/AttributeFile.h"
#include "store/UpdaterStore.h"
#include "upgrade/FirmwareFile.h"
#include "upgrade/Reconnection.h"
#include "upgrade/UpgradeProgress.h"
#include "upgrade/UpgradeStages.h"

using Mirovane::Kelvarion::Module;

namespace {

// Files with a serial offset block take the module's serial number.
bool patchSerialNumber(UpdaterDisplayInterface* display, BirdFile& bird, uint32_t serial) {
  if (!bird.hasSerialBlock()) return true;
  debugPrint(DEBUG_Updater, "Setting serial number into firmware... ");
  if (!bird.setSerialNumber(serial)) {
    debugPrint(DEBUG_Updater, "Error: Unable to modify serial number in bird.\n");
    display->print(1, "Unable to modify serial number in bird file");
    return false;
  }
  debugPrint(DEBUG_Updater, " Serial Number inserted into firmware.\n");
  return true;
}

// Directly, or through the routing module routerSerial. False (after its
// message) when the update cannot go on at all; *result holds the target's
// connect result otherwise.
bool connectTarget(UpdaterDisplayInterface* display, Module& module, uint32_t serial,
                   uint32_t routerSerial, aErr* result) {
  if (routerSerial == 0) {
    *result = upgrade::connectUsbThenTcpip(module, serial);
    return true;
  }
  if (module.getModuleAddress() == 0) {
    display->print(1, "Module address required for indirect firmware update");
    return false;
  }
  Module router(0, static_cast<uint8_t>(0));
  if (upgrade::connectUsbThenTcpip(router, routerSerial) != aErrNone) {
    display->print(1, "Failed to connect to link module [%08X]", routerSerial);
    return false;
  }
  *result = module.connectThroughLinkModule(&router);
  return true;
}

// LATEST_TRANSFER and LAST_TRANSFER_DATE go to the device's own attribute
// file in the store, whose directory is made if the device is new.
// The module has its new firmware by now: a record that cannot be written is
// reported but does not undo the update.
void recordTransfer(UpdaterDisplayInterface* display, UpdaterStore& store, DeviceRecord& record,
                    bool found, uint32_t serial, const std::string& transferred) {
  DeviceRecord device = found ? record : store.getDevice(serial);
  const std::string settings = device.filePath(".settings");
  std::string problem = device.problem();
  if (problem.empty()) {
    AttributeFile& attributes = device.attributes();
    attributes.set(ATTR_LATEST_TRANSFER, transferred);
    attributes.set(ATTR_LAST_TRANSFER_DATE, localTimeText());
    // Named explicitly: an attribute file without a name would go to the
    // working directory.
    const aErr err = attributes.write(settings.c_str());
    if (err != aErrNone)
      problem = "Cannot write the attribute file " + settings + " (" + aError_GetErrorDescription(err) + ")";
  }
  if (!problem.empty())
    display->print(1, "%s; the transfer of %s was not recorded", problem.c_str(), transferred.c_str());
}

}  // namespace

BirdFile UpdaterApp::openBirdForDevice(const char* label, const std::string& birdPath,
                                       uint32_t serial, uint32_t build, bool download) {
  UpdaterStore store(updaterDirectory);
  return upgrade::openBird(*this, store, label, birdPath, serial, {build, std::nullopt}, download);
}

bool UpdaterApp::updateDevice(uint32_t serial, uint32_t build, const std::string& birdPath,
                              uint8_t moduleAddress, uint32_t routerSerial, bool override) {
  if (serial == 0) {
    display->print(1, "Update command must specify the specific device");
    return false;
  }
  try {
    UpdaterStore store(updaterDirectory);
    DeviceRecord record;
    const bool found = store.findDevice(serial, &record);
    if (found && !record.problem().empty()) {
      // The device's history cannot be read or kept: refuse before anything
      // goes to the module.
      display->print(1, "%s", record.problem().c_str());
      return false;
    }
    const uint32_t start = aTime_GetMSTicks();

    upgrade::StoredBuild chosen{build, std::nullopt};
    if (birdPath.empty() && build == 0) {
      chosen = upgrade::chooseBuild(*this, record, serial);
      if (chosen.number == 0) return false;
    }
    const std::string transferred = birdPath.empty() ? buildFileName(chosen.number) : birdPath;
    std::optional<BirdFile> bird;
    try {
      bird.emplace(upgrade::openBird(*this, store, "Updating", birdPath, serial, std::move(chosen), false));
    } catch (const std::runtime_error&) {
      display->print(1, "Failed to load bird file");
      return false;
    }
    if (!patchSerialNumber(display, *bird, serial)) return false;

    Module module(moduleAddress, static_cast<uint8_t>(0));
    aErr err = aErrNone;
    if (!connectTarget(display, module, serial, routerSerial, &err)) return false;
    if (err != aErrNone) {
      display->print(1, "Failed to connect to module [%08X]", serial);
    } else {
      if (!override && !UpdateFirmware(display, *bird, module, serial)) {
        display->print(1, "Birdfile failed validation");
        return false;
      }
      const upgrade::ReconnectPolicy& reconnect = routerSerial != 0
          ? upgrade::kReconnectRoutedBetweenStages : upgrade::kReconnectBetweenStages;
      err = upgrade::transferImages(UpgradeProgress(display), module, *bird, reconnect, serial);
      if (err == aErrNone) recordTransfer(display, store, record, found, serial, transferred);
    }

    debugPrint(DEBUG_Updater, "Updating device firmware: \n");
    display->print(0, "Update time: %.4f sec",
                   static_cast<double>(aTime_GetMSTicks() - start) / 1000.0);
    return err == aErrNone;
  } catch (const std::exception& e) {
    display->print(1, "%s", e.what());
    return false;
  }
}
