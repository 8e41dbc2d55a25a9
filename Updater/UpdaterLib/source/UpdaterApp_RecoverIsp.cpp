// Recovery of serial-ISP modules: the processor's ISP boot loader gives the
// device identifier and takes the firmware blocks into flash through its RAM
// buffer, one chunk of at most one copy length at a time.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "BirdFile.h"
#include "UpdaterDisplay.h"
#include "recovery/RecoverySteps.h"
#include "recovery/isp/NXPSerialISP.h"

namespace recovery {
namespace {

constexpr uint32_t kStartAddress = 0;
// A firmware block of this length (its address only) ends the transfer.
constexpr uint32_t kEndBlockLength = 8;
// Bytes copied from RAM beyond a short last chunk are written as erased flash.
constexpr uint8_t kErasedByte = 0xFF;
// How long a loader's answers to a stray line are read away.
constexpr uint32_t kDrainMs = 300;
constexpr int kDrainLines = 8;

std::string format(const char* text, uint32_t a, uint32_t b = 0) {
  char buffer[160];
  snprintf(buffer, sizeof buffer, text, a, b);
  return buffer;
}

// The firmware blocks that are transferred: those before the end block.
std::vector<BirdBlock> blocksToTransfer(const BirdFile& bird) {
  std::vector<BirdBlock> blocks = bird.blocksOfType(BIRD_BLOCK_FIRMWARE);
  auto end = std::find_if(blocks.begin(), blocks.end(),
                          [](const BirdBlock& b) { return b.length == kEndBlockLength; });
  blocks.erase(end, blocks.end());
  return blocks;
}

// The operator's error line and the diagnostic of the failed step.
bool fail(UpdaterDisplayInterface* display, unsigned channel, const char* diagnostic,
          const char* what, aErr err) {
  debugPrint(channel, "%s", diagnostic);
  display->print(1, "Recovery failed: %s [%s]", what, aError_GetErrorText(err));
  return false;
}

// One chunk: into the RAM buffer, then copied to flash at address.
bool transferChunk(UpdaterDisplayInterface* display, NXPSerialISP& isp, uint32_t address,
                   const uint8_t* data, uint32_t size) {
  const uint32_t ram = isp.target().ramBuffer;
  const uint32_t copy = isp.copyLength(size);
  std::vector<uint8_t> chunk(data, data + size);
  chunk.resize(std::max(copy, size), kErasedByte);
  debugPrint(DEBUG_Updater, "Transferring firmware %d bytes to address 0x%08X\n", size, address);
  debugPrint(DEBUG_Updater, "\t Write %d bytes to address 0x%08X\n", copy, ram);
  aErr err = isp.Write(ram, copy, chunk.data());
  if (err != aErrNone)
    return fail(display, DEBUG_Updater, "\t Write to RAM failed\n", "write to RAM", err);
  const uint32_t first = isp.sectorOf(address);
  // The copy writes whole copy lengths: its last sector must be prepared too.
  const uint32_t last = isp.sectorOf(address + copy - 1);
  debugPrint(DEBUG_Updater, "\t Prepare to copy to sector(s) %d to %d\n", first, last);
  err = isp.prepareSectors(first, last);
  if (err != aErrNone)
    return fail(display, DEBUG_Updater, "\t Prepare failed\n", "prepare sectors", err);
  debugPrint(DEBUG_Updater, "\t Copy %d bytes from %08X to %08X\n", copy, ram, address);
  err = isp.copyRamToFlash(address, ram, copy);
  if (err != aErrNone)
    return fail(display, DEBUG_Updater, "\t Transfer to flash failed\n", "copy to flash", err);
  return true;
}

bool transferBlock(UpdaterDisplayInterface* display, NXPSerialISP& isp, const BirdBlock& block) {
  const uint32_t size = block.imageSize();
  const uint32_t chunkLimit = isp.target().largestCopy;
  display->setProgressActive(true);
  debugPrint(DEBUG_Updater, "Transferring firmware block: %d bytes to address 0x%08X\n", size,
             block.address);
  bool ok = true;
  for (uint32_t done = 0; ok && done < size;) {
    const uint32_t chunk = std::min(chunkLimit, size - done);
    ok = transferChunk(display, isp, block.address + done, block.image() + done, chunk);
    done += chunk;
    if (ok) display->showProgress(static_cast<double>(done) / size, nullptr);
  }
  display->setProgressActive(false);
  return ok;
}

// The number of the part's last sector.
uint32_t lastSector(const IspTarget& target) {
  uint32_t count = 0;
  for (const IspSectorRun& run : target.sectors) count += run.count;
  return count - 1;
}

// Every sector of the part is prepared and erased before the transfer.
bool unlockAndErase(UpdaterDisplayInterface* display, NXPSerialISP& isp) {
  const uint32_t last = lastSector(isp.target());
  debugPrint(DEBUG_Updater, "\n\tUnlock Memory:\n");
  aErr err = isp.unlock();
  if (err != aErrNone) return fail(display, DEBUG_Network, "Could not unlock\n", "unlock", err);
  debugPrint(DEBUG_Updater, "\n\tPrepare ALL memory for update:\n");
  err = isp.prepareSectors(0, last);
  if (err != aErrNone) return fail(display, DEBUG_Network, "Could not prepare\n", "prepare", err);
  debugPrint(DEBUG_Updater, "\n\tErase all memory before update:\n");
  err = isp.eraseSectors(0, last);
  if (err != aErrNone) return fail(display, DEBUG_Network, "Could not erase\n", "erase", err);
  return true;
}

// A loader synchronised by an earlier run (a fingerprint before the
// recovery) is in command mode and took the "?" of the synchronisation for
// the start of a command line: that line is ended, whatever the loader says
// to it is read away, and the serial number is asked for directly. A loader
// that says nothing to the line end is not there (or is no ISP loader).
bool resumeSynchronisedLoader(NXPSerialISP& isp, uint32_t* strayBytes) {
  static const char kLineEnd[] = "\r\n";
  if (isp.Send(kLineEnd, false) != aErrNone) return false;
  *strayBytes += sizeof kLineEnd - 1;
  bool answered = false;
  char line[64];
  size_t length = 0;
  for (int lines = 0; lines < kDrainLines; ++lines) {
    if (isp.GetLine(line, sizeof line, &length, kDrainMs) != aErrNone && length == 0) break;
    answered = true;
  }
  if (!answered) return false;
  *strayBytes = 0;
  return isp.readSerialNumber() == aErrNone;
}

}  // namespace

bool readIspFingerprint(uint32_t identifier[4], const std::string& port, uint32_t baud,
                        uint32_t* strayBytes, std::string* cause) {
  *strayBytes = 0;
  NXPSerialISP isp;
  aErr err = isp.open(port.c_str(), baud);
  if (err != aErrNone) {
    debugPrint(DEBUG_APP, "ERROR %d ==> Could not open serial port\n", static_cast<int>(err));
    if (cause) *cause = std::string("could not open the port [") + aError_GetErrorText(err) + "]";
    return false;
  }
  debugPrint(DEBUG_APP, "\n\tSync to Device:\n");
  err = isp.sync();
  if (err == aErrTimeout) {
    // Unanswered, the synchronisation ends after its "?".
    *strayBytes = 1;
    if (resumeSynchronisedLoader(isp, strayBytes)) {
      for (int i = 0; i < 4; ++i) identifier[i] = isp.serialNumber()[i];
      return true;
    }
  }
  if (err != aErrNone) {
    debugPrint(DEBUG_APP, "ERROR %d ==> Could not communicate with device over serial port\n",
               static_cast<int>(err));
    if (cause) *cause = std::string("no answer to synchronisation [") + aError_GetErrorText(err) + "]";
    return false;
  }
  debugPrint(DEBUG_APP, "\n\tGet Info from Device:\n");
  err = isp.readSerialNumber();
  if (err != aErrNone) {
    debugPrint(DEBUG_APP, "\tERROR ==> Got no response from chip\n");
    if (cause) *cause = std::string("no device serial number [") + aError_GetErrorText(err) + "]";
    return false;
  }
  for (int i = 0; i < 4; ++i) identifier[i] = isp.serialNumber()[i];
  return true;
}

bool checkIspFirmware(const BirdFile& bird, std::string* cause) {
  const IspTarget& target = kIspTarget;
  // Erasing the flash for a file without firmware (a liveloader's, say)
  // would leave the module with nothing.
  if (bird.blocksOfType(BIRD_BLOCK_FIRMWARE).empty()) {
    *cause = "The BIRD file holds no firmware blocks";
    return false;
  }
  const std::vector<BirdBlock> blocks = blocksToTransfer(bird);
  struct Range {
    uint64_t start, end;
    uint32_t number;
  };
  std::vector<Range> ranges;
  for (size_t k = 0; k < blocks.size(); ++k) {
    const BirdBlock& block = blocks[k];
    const uint32_t number = static_cast<uint32_t>(k + 1);
    const uint32_t size = block.imageSize();
    if (size % 4 != 0) {
      *cause = format("Firmware block %u holds %u bytes, not a multiple of 4", number, size);
      return false;
    }
    if (size == 0) continue;
    if (block.address % 256 != 0) {
      *cause = format("Firmware block %u starts at 0x%08X, not on a 256-byte boundary", number,
                      block.address);
      return false;
    }
    // The last chunk is copied with a whole copy length.
    const uint32_t tail = size % target.largestCopy;
    const uint64_t end = static_cast<uint64_t>(block.address) + size - tail +
                         (tail ? ispCopyLength(tail) : 0);
    if (end - 1 > 0xFFFFFFFFull || ispSectorOf(target, block.address) == target.sectorOutside ||
        ispSectorOf(target, static_cast<uint32_t>(end - 1)) == target.sectorOutside) {
      *cause = format("Firmware block %u at 0x%08X does not fit in the flash", number,
                      block.address);
      return false;
    }
    ranges.push_back({block.address, end, number});
  }
  std::sort(ranges.begin(), ranges.end(),
            [](const Range& a, const Range& b) { return a.start < b.start; });
  for (size_t i = 1; i < ranges.size(); ++i) {
    if (ranges[i].start < ranges[i - 1].end) {
      *cause = format("Firmware blocks %u and %u overlap in flash", ranges[i - 1].number,
                      ranges[i].number);
      return false;
    }
  }
  return true;
}

bool recoverOverIsp(UpdaterDisplayInterface* display, const BirdFile& bird, const std::string& port,
                    uint32_t baud) {
  NXPSerialISP isp;
  aErr err = isp.open(port.c_str(), baud);
  if (err != aErrNone) {
    debugPrint(DEBUG_Network, "Could not connect to %s\n", port.c_str());
    display->print(1, "Could not open serial port %s [%s]", port.c_str(), aError_GetErrorText(err));
    return false;
  }
  if (!unlockAndErase(display, isp)) return false;
  (void)isp.setEcho(false);
  debugPrint(DEBUG_Updater, "Updating device firmware: \n");
  debugPrint(DEBUG_Updater, "Transferring firmware to device from [%s]\n", bird.filename().c_str());

  const std::vector<BirdBlock> blocks = blocksToTransfer(bird);
  const int announced = static_cast<int>(blocks.size());
  uint32_t total = 0;
  for (size_t k = 0; k < blocks.size(); ++k) {
    const BirdBlock& block = blocks[k];
    display->print(0, "Transferring firmware block %d of %d, %d bytes", static_cast<int>(k + 1),
                   announced, static_cast<int>(block.imageSize()));
    if (!transferBlock(display, isp, block)) return false;
    total += block.imageSize();
  }
  display->print(0, "Transferred %d blocks, %d total bytes", static_cast<int>(blocks.size()),
                 static_cast<int>(total));

  err = isp.setEcho(true);
  if (err != aErrNone) {
    // The firmware is in flash but the device was not started.
    display->print(1, "Recovery Error transfering data to device ==> [%d, %s]",
                   static_cast<int>(err), aError_GetErrorText(err));
    return false;
  }
  display->print(0, "Rebooting Device");
  (void)isp.go(kStartAddress);
  return true;
}

}  // namespace recovery
