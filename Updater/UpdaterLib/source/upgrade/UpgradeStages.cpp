// The two stages of an update over the packet link: one loop over the image
// blocks of a type, and what comes before and after it. A stage in which any
// block failed has failed: the loader is not started after a failed loader
// block, and the module is not rebooted into partly written firmware.
#include "UpgradeStages.h"

#include <vector>

#include "BirdFile.h"
#include "UpdaterDisplay.h"
#include "UpdaterEntity.h"
#include "upgrade/Reconnection.h"

using Mirovane::Kelvarion::Module;

namespace {

// What tells the loader and the firmware blocks apart.
struct BlockKind {
  uint8_t type;
  const char* name;
  // A PREPARE that timed out still lets a loader block go: the loader of some
  // modules does not answer it.
  bool prepareMayTimeOut;
  const char* prepareFailed;   // diagnostic lines, with the error's number and name
  const char* transferFailed;
};

const BlockKind kLoaderBlocks = {BIRD_BLOCK_LOADER, "loader", true,
                                 "Error Preparing transfer [%d, %s].\n",
                                 "Error loader transfer [%d, %s].\n"};
const BlockKind kFirmwareBlocks = {BIRD_BLOCK_FIRMWARE, "firmware", false,
                                   "Error firmware transfer init: [%d, %s].\n",
                                   "Error firmware transfer [%d, %s].\n"};

// Image blocks start with their 4-byte load address; a shorter block in a
// damaged file is refused rather than read past its end.
aErr prepare(UpdaterEntity& entity, const BirdBlock& block, uint16_t* size) {
  if (block.length < 4) return aErrSize;
  return entity.TransferPrepare(block.data, block.length, block.flags, size);
}

aErr transfer(UpdaterEntity& entity, const BlockKind& kind, const BirdBlock& block, uint16_t size,
              const UpgradeProgress& progress) {
  if (kind.type == BIRD_BLOCK_LOADER) return entity.LoaderTransfer(block.data, block.length);
  return entity.FirmwareTransfer(block.data, block.length, size, progress);
}

void reportFailure(const char* format, aErr err) {
  debugPrint(DEBUG_Updater, format, err, aError_GetErrorText(err));
}

// PREPARE and transfer of every block of kind. A failed PREPARE ends the
// loop; a failed transfer does not. Returns the first failure.
aErr sendBlocks(UpdaterEntity& entity, const BlockKind& kind, const BirdFile& bird,
                const UpgradeProgress& progress) {
  const std::vector<BirdBlock> blocks = bird.blocksOfType(kind.type);
  const unsigned count = static_cast<unsigned>(blocks.size());
  aErr firstFailure = aErrNone;
  int sent = 0;
  int total = 0;
  for (unsigned i = 0; i < count; ++i) {
    const BirdBlock& block = blocks[i];
    progress.status("Transferring %s block %u of %u, %d bytes", kind.name, i + 1, count,
                    static_cast<int>(block.length));
    uint16_t size = 0;
    aErr err = prepare(entity, block, &size);
    if (err != aErrNone && !(kind.prepareMayTimeOut && err == aErrTimeout)) {
      reportFailure(kind.prepareFailed, err);
      if (firstFailure == aErrNone) firstFailure = err;
      break;
    }
    err = transfer(entity, kind, block, size, progress);
    if (err != aErrNone) {
      reportFailure(kind.transferFailed, err);
      if (firstFailure == aErrNone) firstFailure = err;
      continue;
    }
    total += static_cast<int>(block.length);
    ++sent;
  }
  progress.status("Transferred %d blocks, %d total bytes", sent, total);
  return firstFailure;
}

}  // namespace

aErr LoaderStage(const UpgradeProgress& progress, Module& module, const BirdFile& bird) {
  UpdaterEntity entity(module, true);
  aErr err = entity.LoaderInit();
  if (err != aErrNone) {
    reportFailure("Error starting loader [%d, %s].\n", err);
    return err;
  }
  progress.status("Transferring loader to device");
  progress.progressActive(true);
  err = sendBlocks(entity, kLoaderBlocks, bird, progress);
  progress.progressActive(false);
  if (err != aErrNone) return err;
  progress.status("Starting Load on Device");
  err = entity.LoaderStart();
  if (err == aErrTimeout) {
    debugPrint(DEBUG_Updater,
               "Timeout on LoaderStart. Usually indicates this is an iMX Load ignore err.\n");
    return aErrNone;
  }
  if (err != aErrNone) progress.error("Error starting loader [%d, %s]", err, aError_GetErrorText(err));
  return err;
}

aErr FirmwareStage(const UpgradeProgress& progress, Module& module, const BirdFile& bird) {
  UpdaterEntity entity(module, true);
  debugPrint(DEBUG_Updater, "Transferring firmware to device %s\n", bird.filename().c_str());
  const aErr err = sendBlocks(entity, kFirmwareBlocks, bird, progress);
  if (err != aErrNone) return err;
  return entity.LoaderReboot(progress);
}

namespace upgrade {

aErr transferImages(const UpgradeProgress& progress, Module& module, const BirdFile& bird,
                    const ReconnectPolicy& reconnect, uint32_t serial) {
  const aErr err = LoaderStage(progress, module, bird);
  if (err != aErrNone) return err;
  if (!module.isConnected()) (void)reconnectModule(module, reconnect, serial);
  return FirmwareStage(progress, module, bird);
}

}  // namespace upgrade
