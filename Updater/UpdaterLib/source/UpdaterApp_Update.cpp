// -U: replace the firmware of one running module. Chooses the BIRD file,
// patches the module's serial number into it, connects, checks that file and
// module belong together, runs the loader and firmware stages and records the
// transfer in the module's attribute file.
#include <memory>
#include <stdexcept>

#include "BirdFile.h"
#include "BuildNumber.h"
#include "Module.h"
#include "server/ServerComm.h"
#include "UpdaterApp.h"
#include "UpdaterDisplay.h"
#include "store/UpdaterStore.h"
#include "store/AttributeFile.h"
#include "aDiscovery.h"
#include "aTime.h"
#include "upgrade/Reconnection.h"
#include "upgrade/UpdaterEntity.h"

using Mirovane::Kelvarion::Module;

namespace {

// The build to transfer when neither a file nor a build was named: the
// server's current build if it is stored, else the latest download, else the
// latest transfer. 0 when there is none.
uint32_t chooseBuild(UpdaterApp& app, DeviceRecord& record, uint32_t serial) {
  std::string buildText;
  std::string firmwareId;
  (void)ServerCommClass::QueryBuild(serial, &buildText, &firmwareId, app.serverUrl.c_str());
  uint32_t build = buildNumberOrZero(buildText);
  if (build != 0) {
    try {
      (void)record.loadBird(buildFileName(build));
    } catch (const std::runtime_error&) {
      app.display->print(
          0, "New firmware is available.  Updater will proceed if valid firmware is found locally.");
      build = 0;
    }
  }
  if (build != 0) return build;
  build = buildOfFileName(record.attributes().getString(ATTR_LATEST_DOWNLOAD, ""));
  if (build != 0) {
    app.display->print(0, "Updating with the Latest Download");
    return build;
  }
  build = buildOfFileName(record.attributes().getString(ATTR_LATEST_TRANSFER, ""));
  if (build != 0) {
    app.display->print(0, "Updating with the Latest Transfer");
    return build;
  }
  app.display->print(1, "Could not find valid build for this device.");
  return 0;
}

// Direct: USB first, then TCP/IP when USB does not know the module.
aErr connectDirect(Module& module, uint32_t serial) {
  aErr err = module.connect(LINKTYPE_USB, serial);
  if (err == aErrNotFound) err = module.connect(LINKTYPE_TCPIP, serial);
  return err;
}

// Through a routing module. Returns false (after its message) when the
// routing module cannot be reached; result holds the target's connect result.
bool connectIndirect(UpdaterDisplayInterface* display, Module& module, uint32_t routerSerial,
                     aErr* result) {
  auto router = std::make_unique<Module>(0, static_cast<uint8_t>(0));
  aErr err = router->connect(LINKTYPE_USB, routerSerial);
  if (err == aErrNotFound) err = router->connect(LINKTYPE_TCPIP, routerSerial);
  if (err != aErrNone) {
    display->print(1, "Failed to connect to link module [%08X]", routerSerial);
    return false;
  }
  *result = module.connectThroughLinkModule(router.get());
  return true;
}

// After the loader stage the module may have restarted into its loader and
// dropped off the link: find it again over the transport it was reached by.
void reconnectAfterLoader(Module& module, uint32_t serial, bool indirect) {
  if (module.isConnected()) return;
  linkSpec spec{};
  const bool haveSpec = module.getLinkSpecifier(&spec) == aErrNone;
  module.disconnect();
  ConnectAttempts policy;
  policy.type = haveSpec && spec.type == LINKTYPE_TCPIP ? LINKTYPE_TCPIP : LINKTYPE_USB;
  if (!indirect) policy.serials = {serial};
  (void)connectWithAttempts(module, policy);
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

    std::string path = birdPath;
    if (path.empty() && build == 0) {
      build = chooseBuild(*this, record, serial);
      if (build == 0) return false;
    }

    std::unique_ptr<BirdFile> bird;
    try {
      bird = std::make_unique<BirdFile>(openBirdForDevice("Updating", path, serial, build, false));
    } catch (const std::runtime_error&) {
      display->print(1, "Failed to load bird file");
      return false;
    }

    if (bird->hasSerialBlock()) {
      debugPrint(DEBUG_Updater, "Setting serial number into firmware... ");
      if (!bird->setSerialNumber(serial)) {
        debugPrint(DEBUG_Updater, "Error: Unable to modify serial number in bird.\n");
        display->print(1, "Unable to modify serial number in bird file");
        return false;
      }
      debugPrint(DEBUG_Updater, " Serial Number inserted into firmware.\n");
    }

    Module module(moduleAddress, static_cast<uint8_t>(0));
    aErr err = aErrNone;
    const bool indirect = routerSerial != 0;
    if (indirect) {
      if (moduleAddress == 0) {
        display->print(1, "Module address required for indirect firmware update");
        return false;
      }
      if (!connectIndirect(display, module, routerSerial, &err)) return false;
    } else {
      err = connectDirect(module, serial);
    }

    if (err != aErrNone) {
      display->print(1, "Failed to connect to module [%08X]", serial);
    } else {
      if (!override && !UpdateFirmware(display, *bird, module, serial)) {
        display->print(1, "Birdfile failed validation");
        return false;
      }
      err = LoaderStage(display, module, *bird);
      if (err == aErrNone) {
        reconnectAfterLoader(module, serial, indirect);
        err = FirmwareStage(display, module, *bird);
        if (err == aErrNone) {
          if (path.empty()) path = buildFileName(build);
          recordTransfer(display, store, record, found, serial, path);
        }
      }
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
