// The two stages of an update over the packet link. A stage in which any
// block failed has failed: the loader is not started after a failed loader
// block, and the module is not rebooted into partly written firmware.
#include <vector>

#include "BirdFile.h"
#include "UpdaterDisplay.h"
#include "UpdaterEntity.h"

using Mirovane::Kelvarion::Module;

namespace {
constexpr uint8_t kLoaderImageBlock = 0;
constexpr uint8_t kFirmwareImageBlock = 1;

// Image blocks start with their 4-byte load address; a shorter block in a
// damaged file is refused rather than read past its end.
bool hasAddress(const BirdBlock& block) { return block.length >= 4; }
}  // namespace

aErr LoaderStage(UpdaterDisplayInterface* display, Module& module, BirdFile& bird) {
  UpdaterEntity entity(module, true);
  aErr err = entity.LoaderInit();
  if (err != aErrNone) {
    debugPrint(DEBUG_Updater, "Error starting loader [%d, %s].\n", err, aError_GetErrorText(err));
    return err;
  }
  if (display) display->print(0, "Transferring loader to device");
  const std::vector<BirdBlock> blocks = bird.blocksOfType(kLoaderImageBlock);
  if (display) display->setProgressActive(true);
  aErr firstFailure = aErrNone;
  int sent = 0;
  int total = 0;
  const int count = static_cast<int>(blocks.size());
  for (int i = 0; i < count; ++i) {
    const BirdBlock& block = blocks[i];
    if (display)
      display->print(0, "Transferring loader block %d of %d, %d bytes", i + 1, count,
                     static_cast<int>(block.length));
    uint16_t size = 0;
    err = hasAddress(block) ? entity.TransferPrepare(block.data, block.length, block.flags, &size)
                            : aErrSize;
    if (err != aErrNone && err != aErrTimeout) {
      debugPrint(DEBUG_Updater, "Error Preparing transfer [%d, %s].\n", err,
                 aError_GetErrorText(err));
      if (firstFailure == aErrNone) firstFailure = err;
      break;
    }
    err = entity.LoaderTransfer(block.data, block.length);
    if (err != aErrNone) {
      debugPrint(DEBUG_Updater, "Error loader transfer [%d, %s].\n", err, aError_GetErrorText(err));
      if (firstFailure == aErrNone) firstFailure = err;
      continue;
    }
    total += static_cast<int>(block.length);
    ++sent;
  }
  if (display) {
    display->print(0, "Transferred %d blocks, %d total bytes", sent, total);
    display->setProgressActive(false);
  }
  if (firstFailure != aErrNone) return firstFailure;
  if (err == aErrNone) {
    if (display) display->print(0, "Starting Load on Device");
    err = entity.LoaderStart();
    if (err == aErrTimeout) {
      debugPrint(DEBUG_Updater,
                 "Timeout on LoaderStart. Usually indicates this is an iMX Load ignore err.\n");
      err = aErrNone;
    } else if (err != aErrNone && display) {
      display->print(1, "Error starting loader [%d, %s]", err, aError_GetErrorText(err));
    }
  }
  return err;
}

aErr FirmwareStage(UpdaterDisplayInterface* display, Module& module, BirdFile& bird) {
  UpdaterEntity entity(module, true);
  debugPrint(DEBUG_Updater, "Transferring firmware to device %s\n", bird.filename().c_str());
  const std::vector<BirdBlock> blocks = bird.blocksOfType(kFirmwareImageBlock);
  const unsigned count = static_cast<unsigned>(blocks.size());
  aErr err = aErrNone;
  aErr firstFailure = aErrNone;
  int sent = 0;
  int total = 0;
  for (unsigned i = 0; i < count; ++i) {
    const BirdBlock& block = blocks[i];
    if (display)
      display->print(0, "Transferring firmware block %u of %u, %d bytes", i + 1, count,
                     static_cast<int>(block.length));
    uint16_t size = 0;
    err = hasAddress(block) ? entity.TransferPrepare(block.data, block.length, block.flags, &size)
                            : aErrSize;
    if (err != aErrNone) {
      debugPrint(DEBUG_Updater, "Error firmware transfer init: [%d, %s].\n", err,
                 aError_GetErrorText(err));
      if (firstFailure == aErrNone) firstFailure = err;
      break;
    }
    err = entity.FirmwareTransfer(block.data, block.length, size, display);
    if (err != aErrNone) {
      debugPrint(DEBUG_Updater, "Error firmware transfer [%d, %s].\n", err,
                 aError_GetErrorText(err));
      if (firstFailure == aErrNone) firstFailure = err;
      continue;
    }
    total += static_cast<int>(block.length);
    ++sent;
  }
  if (display) display->print(0, "Transferred %d blocks, %d total bytes", sent, total);
  if (firstFailure != aErrNone) return firstFailure;
  return entity.LoaderReboot(display);
}
