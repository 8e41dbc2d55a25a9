// Starting the loader and rebooting into the new firmware.
#include "UpdaterDisplay.h"
#include "UpdaterEntity.h"
#include "aTime.h"
#include "upgrade/Reconnection.h"

namespace {
constexpr uint32_t kFirm = DEBUG_Network_FIRM;
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
  err = upgrade::reconnectModule(module_, upgrade::kReconnectAtLoaderStart, 0);
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

aErr UpdaterEntity::LoaderReboot(const UpgradeProgress& progress) {
  debugPrint(kFirm, "NETWORK: LoaderReboot {cmdUPGRADE, val_UPGRADE_REBOOT}\n");
  const aErr err = sendUpgrade(val_UPGRADE_REBOOT, nullptr, 0);
  if (err != aErrNone) debugPrint(kFirm, "NETWORK: Error sending Loader REBOOT\n");
  // The module drops the link when it restarts; wait a few seconds for that,
  // not forever, and go on as soon as it has. The busy indicator is drawn at
  // once, even when the link is gone already, and then moves at its own pace.
  const unsigned pollsPerFrame = upgrade::kBusyFrameMs / upgrade::kRebootPollMs;
  for (unsigned polls = 0;; ++polls) {
    const bool frame = polls % pollsPerFrame == 0;
    if (frame) progress.busy(true, "Verifying Update");
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
  progress.busy(false, "Verifying Update");
  return err;
}
