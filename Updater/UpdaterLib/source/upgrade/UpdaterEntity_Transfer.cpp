// Whole-block transfers: a firmware image block in pieces of the loader's
// block size, each summed and written, and a loader image block in one go.
#include <cstdint>

#include "UpdaterDisplay.h"
#include "UpdaterEntity.h"
#include "aUEI.h"

namespace {
constexpr uint32_t kFirm = DEBUG_Network_FIRM;
}

aErr UpdaterEntity::FirmwareTransfer(const uint8_t* block, uint32_t length,
                                     uint16_t loaderBlockSize, const UpgradeProgress& progress) {
  const uint8_t* image = block + 4;
  uint32_t remaining = length - 4;
  uint32_t counter = 0;
  aErr err = aErrNone;
  debugPrint(kFirm, "NETWORK: Firmware Transfer (addr=%08X, len=%d)\n", aUEI_RetrieveInt(block),
             static_cast<int>(length - 4));
  // A block size of 0 would never move a byte: refuse it before sending anything.
  if (loaderBlockSize == 0 && remaining > 0) {
    debugPrint(kFirm, "NETWORK: Loader reported a block size of 0\n");
    err = aErrInvalidOption;
  }
  progress.progressActive(true);
  while (remaining > 0 && err == aErrNone) {
    const uint32_t n = remaining <= loaderBlockSize ? remaining : loaderBlockSize;
    err = BlockTransfer(image, n, &counter);
    if (err != aErrNone) break;
    remaining -= n;
    image += n;
    ++counter;
    progress.progress(static_cast<double>(length - remaining) / length);
    debugPrint(kFirm, "\nNETWORK: accepted %d more bytes (%d of %d remaining)\n",
               static_cast<int>(n), static_cast<int>(remaining), static_cast<int>(length));
    err = FirmwareWrite(static_cast<uint16_t>(n));
  }
  progress.progressActive(false);
  debugPrint(kFirm, "NETWORK: transferred %d of %d bytes\n", static_cast<int>(length - remaining),
             static_cast<int>(length));
  if (err != aErrNone) debugPrint(0, "NETWORK: Failed to transfer firmware\n");
  return err;
}

aErr UpdaterEntity::LoaderTransfer(const uint8_t* block, uint32_t length) {
  uint32_t counter = 0;
  debugPrint(kFirm, "NETWORK: Loader Transfer (addr=%08X, len=%d)\n", aUEI_RetrieveInt(block),
             static_cast<int>(length - 4));
  return BlockTransfer(block + 4, length - 4, &counter);
}
