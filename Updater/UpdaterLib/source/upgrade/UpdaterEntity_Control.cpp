// Starting the loader, rebooting into the new firmware, and finding the module
// again when it drops off the link in between.
#include "UpdaterDisplay.h"
#include "UpdaterEntity.h"
#include "aTime.h"

namespace {
constexpr uint32_t kFirm = DEBUG_Network_FIRM;
constexpr uint32_t kReconnect = DEBUG_Network;
}

aErr UpdaterEntity::LoaderStart() {
  debugPrint(kFirm, "NETWORK: Loader Start {cmdUPGRADE, val_UPGRADE_LOAD}\n");
  aErr err = sendUpgrade(val_UPGRADE_LOAD, nullptr, 0);
  if (err != aErrNone) {
    debugPrint(kFirm, "NETWORK: Error sending UPGRADE_LOAD (%d)\n", err);
    return err;
  }
  uint8_t reply[28];
  uint8_t length = 0;
  if (awaitReply(val_UPGRADE_LOAD, reply, &length) == aErrNone) {
    debugPrint(kFirm, "NETWORK: Loader validated start\n");
    return aErrNone;
  }
  // The module may restart into its loader and drop the link while doing so;
  // the loader then announces itself once it is back.
  err = ReconnectDevice(500);
  if (err != aErrNone) {
    debugPrint(kFirm, "NETWORK: Invalid or reply when starting loader. [%d, %s]\n", err,
               aError_GetErrorText(err));
    return aErrTimeout;
  }
  err = awaitReply(val_UPGRADE_LOAD, reply, &length);
  if (err == aErrNone) {
    debugPrint(kFirm, "NETWORK: Loader validated start (Reconnect)\n");
    return aErrNone;
  }
  debugPrint(kFirm, "NETWORK: Invalid or reply when starting loader (Reconnect). [%d, %s]\n", err,
             aError_GetErrorText(err));
  return aErrTimeout;
}

aErr UpdaterEntity::LoaderReboot(UpdaterDisplayInterface* display) {
  debugPrint(kFirm, "NETWORK: LoaderReboot {cmdUPGRADE, val_UPGRADE_REBOOT}\n");
  const aErr err = sendUpgrade(val_UPGRADE_REBOOT, nullptr, 0);
  if (err != aErrNone) debugPrint(kFirm, "NETWORK: Error sending Loader REBOOT\n");
  // The module drops the link when it restarts; wait a few seconds for that,
  // not forever, and go on as soon as it has. The busy indicator is drawn at
  // once, even when the link is gone already, and then moves at its own pace.
  const unsigned pollsPerFrame = upgrade::kBusyFrameMs / upgrade::kRebootPollMs;
  for (unsigned polls = 0;; ++polls) {
    const bool frame = polls % pollsPerFrame == 0;
    if (frame && display) display->showBusy(true, "Verifying Update");
    if (!module_.isConnected() || polls >= upgrade::kRebootPolls) break;
    if (frame) {
      debugPrint(kFirm, "Waiting for link to drop.\n");
      debugPrint(kFirm, "Rebooting Device\n");
    }
    aTime_MSSleep(upgrade::kRebootPollMs);
  }
  if (module_.isConnected())
    debugPrint(kFirm, "NETWORK: Link still up %u ms after REBOOT, not waiting longer\n",
               upgrade::kRebootPolls * upgrade::kRebootPollMs);
  if (display) display->showBusy(false, "Verifying Update");
  return err;
}

aErr UpdaterEntity::ReconnectDevice(uint32_t delayMs) {
  module_.disconnect();
  aErr err = aErrConnection;
  for (int attempt = 1; attempt <= upgrade::kReconnectAttempts; ++attempt) {
    debugPrint(kReconnect, "NETWORK: Attempting to reconnect. Attempt: %d of %d\n", attempt,
               upgrade::kReconnectAttempts);
    err = module_.reconnect();
    if (err == aErrNone) {
      debugPrint(kReconnect, "NETWORK: Reconnected to device\n");
      return aErrNone;
    }
    debugPrint(kReconnect, "NETWORK: Couldn't reconnect to device delaying: %d ms\n",
               static_cast<int>(delayMs));
    aTime_MSSleep(delayMs);
  }
  return err;
}
