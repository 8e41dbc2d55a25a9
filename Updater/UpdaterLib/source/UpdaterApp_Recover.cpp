// Recovery through a processor's boot loader (-U -t RECOVER) and the
// fingerprint command (-N): identify the processor, find the firmware meant
// for it and write it, over the serial ISP loader or through the liveloader.
#include <memory>
#include <stdexcept>
#include <string>

#include "BirdFile.h"
#include "UpdaterApp.h"
#include "UpdaterDisplay.h"
#include "aTime.h"
#include "recovery/RecoverySteps.h"
#include "server/ServerComm.h"

namespace {

// The server's serial number and build for an identifier. serial and build
// keep what the caller gave unless the server names them. False (after its
// error line) when there is no serial number or no build to recover with.
bool askServerForDevice(UpdaterApp& app, const uint32_t identifier[4], uint32_t* serial,
                        uint32_t* build) {
  uint32_t named = *serial;
  uint32_t offered = 0;
  const bool answered =
      ServerCommClass::GetRecoveryInfo(identifier, &named, &offered, app.serverUrl.c_str());
  *serial = named;
  if (*build == 0) *build = offered;
  if (*serial != 0 && *build != 0) return true;
  if (!answered && !ServerCommClass::ping(app.serverUrl.c_str())) {
    app.display->print(1, "Server request failed for %s", app.serverUrl.c_str());
  } else {
    app.display->print(1, "The update server knows no firmware for device [ %08X %08X %08X %08X ]",
                       identifier[0], identifier[1], identifier[2], identifier[3]);
  }
  return false;
}

}  // namespace

bool UpdaterApp::identifyDevice(uint32_t identifier[4], const std::string& serialPort,
                                uint32_t serial, const std::string& birdPath, uint32_t baud,
                                bool resetAfter) {
  for (int i = 0; i < 4; ++i) identifier[i] = 0;
  std::string ispCause;
  uint32_t strayBytes = 0;
  if (recovery::readIspFingerprint(identifier, serialPort, baud, &strayBytes, &ispCause)) {
    deviceKind = DEVICE_KIND_SERIAL_ISP;
    return true;
  }
  deviceKind = DEVICE_KIND_LIVELOADER;
  std::string liveloaderCause;
  if (recovery::identifyThroughLiveloader(*this, serialPort, serial, birdPath, resetAfter,
                                          strayBytes, identifier, &liveloaderCause)) {
    return true;
  }
  display->print(1, "Serial ISP boot loader on %s: %s", serialPort.c_str(), ispCause.c_str());
  if (!liveloaderCause.empty())
    display->print(1, "Serial download boot loader on %s: %s", serialPort.c_str(),
                   liveloaderCause.c_str());
  return false;
}

bool UpdaterApp::recover(const std::string& serialPort, uint32_t build, uint32_t baud,
                         uint32_t serial, const std::string& birdPath, bool /*override*/) {
  const uint32_t start = aTime_GetMSTicks();
  uint32_t identifier[4];
  // The ISP loader keeps the rate it synchronised at: identify at the rate
  // the transfer uses.
  if (!identifyDevice(identifier, serialPort, serial, birdPath, baud, false)) {
    display->print(1, "Could not get Device Identifier");
    return false;
  }
  if (birdPath.empty() && !askServerForDevice(*this, identifier, &serial, &build)) return false;

  std::unique_ptr<BirdFile> bird;
  try {
    bird = std::make_unique<BirdFile>(
        openBirdForDevice("Recovering", birdPath, serial, build, true));
  } catch (const std::runtime_error&) {
    display->print(1, "Failed to load bird file");
    return false;
  }
  if (bird->hasSerialBlock()) {
    display->print(1, "Updater does not support offline recovery");
    return false;
  }

  bool result = false;
  if (deviceKind == DEVICE_KIND_LIVELOADER) {
    result = recovery::recoverOverUsb(display, *bird, serial);
  } else if (deviceKind == DEVICE_KIND_SERIAL_ISP) {
    std::string cause;
    if (!recovery::checkIspFirmware(*bird, &cause)) {
      display->print(1, "%s", cause.c_str());
    } else {
      result = recovery::recoverOverIsp(display, *bird, serialPort, baud);
    }
  } else {
    display->print(1, "Unknown device");
  }
  display->print(0, "Update time: %.4f sec",
                 static_cast<double>(aTime_GetMSTicks() - start) / 1000.0);
  return result;
}
