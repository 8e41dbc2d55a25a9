// Recovery of liveloader modules: the serial download boot loader (USB HID or
// a serial port) runs the liveloader, a small loader program that enumerates
// on USB as a module (under its own serial number or the placeholder); the
// identifier is read from it and the firmware goes in by the firmware stage.
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "BuildNumber.h"
#include "BirdFile.h"
#include "Module.h"
#include "ModuleCodes.h"
#include "SystemEntities.h"
#include "UpdaterApp.h"
#include "UpdaterDisplay.h"
#include "recovery/RecoverySteps.h"
#include "recovery/sdp/HID_SDPLoader.h"
#include "recovery/sdp/SDPClient.h"
#include "recovery/sdp/Serial_SDPLoader.h"
#include "store/UpdaterStore.h"
#include "upgrade/Reconnection.h"
#include "upgrade/UpgradeProgress.h"
#include "upgrade/UpgradeStages.h"

using Mirovane::Kelvarion::Module;
using Mirovane::Kelvarion::SystemClass;

namespace recovery {
namespace {

// Bytes of one serial download command on a serial line, and how long the
// refusal of a filler command is waited for.
constexpr uint32_t kSdpCommandSize = 16;
constexpr uint32_t kAlignReplyMs = 100;

std::string hex8(uint32_t value) {
  char text[9];
  snprintf(text, sizeof text, "%08X", value);
  return text;
}

bool setCause(std::string* cause, const std::string& text) {
  if (cause) *cause = text;
  return false;
}

// Keeps the display quiet while it lives.
class QuietDisplay {
 public:
  explicit QuietDisplay(UpdaterDisplayInterface* display) : display_(display) {
    display_->setQuiet(true);
  }
  ~QuietDisplay() { display_->setQuiet(false); }
  QuietDisplay(const QuietDisplay&) = delete;
  QuietDisplay& operator=(const QuietDisplay&) = delete;

 private:
  UpdaterDisplayInterface* display_;
};

// The liveloader's file kept in the store for serial: the build recorded as
// its latest download, fetched from the update server first when the store
// has none. Raises std::runtime_error when there is none to be had.
BirdFile storedLiveloader(UpdaterApp& app, uint32_t serial) {
  UpdaterStore store(app.updaterDirectory);
  DeviceRecord record;
  // The attribute reads "<build>.bird"; only its build number is taken.
  uint32_t build = 0;
  if (store.findDevice(serial, &record))
    build = buildOfFileName(record.attributes().getString(ATTR_LATEST_DOWNLOAD, ""));
  if (build == 0) {
    // No entry, or one left by a download that did not complete.
    {
      QuietDisplay quiet(app.display);
      debugPrint(DEBUG_APP, "Existing loader device not found. Downloading.\n");
      build = app.getBuild(serial, std::string(), false, false);
    }
    if (build == 0)
      throw std::runtime_error("the store has none for " + hex8(serial) +
                               " and none could be downloaded");
    if (!store.findDevice(serial, &record))
      throw std::runtime_error("no store entry for " + hex8(serial));
  }
  return record.loadBird(buildFileName(build));
}

// Completes the partial command that strayBytes started with filler bytes;
// the loader refuses that command and its answer is read away.
void alignCommands(SDPLoader_Interface& loader, uint32_t strayBytes) {
  const uint32_t partial = strayBytes % kSdpCommandSize;
  if (partial == 0) return;
  // The first byte stands for the report ID, which a serial line leaves out.
  std::vector<uint8_t> filler(1 + kSdpCommandSize - partial, 0);
  (void)loader.write(filler);
  std::vector<uint8_t> answer;
  (void)loader.read(answer, kAlignReplyMs);
}

bool readIdentifier(Module& module, uint32_t identifier[4], std::string* cause) {
  SystemClass system;
  system.init(&module, 0);
  for (uint8_t i = 0; i < 4; ++i) {
    uint32_t word = 0;
    const aErr err = system.getUEI32(SYSTEM_IDENTIFIER, i, &word);
    if (err != aErrNone) {
      debugPrint(DEBUG_APP, "Error getting Identifier %d.\n", i);
      return setCause(cause, "the liveloader did not give identifier word " + std::to_string(i) +
                                 " [" + aError_GetErrorText(err) + "]");
    }
    identifier[3 - i] = word;
  }
  return true;
}

}  // namespace

aErr loadLiveloaderSDP(const BirdFile& bird, const std::string& port, uint32_t strayBytes,
                       std::string* cause) {
  debugPrint(DEBUG_Updater, "Transfer Loader via Serial Interface (iMX):\n");
  const std::vector<BirdBlock> blocks = bird.blocksOfType(BIRD_BLOCK_LOADER);
  if (blocks.empty()) {
    setCause(cause, "the liveloader file holds no loader block");
    return aErrParam;
  }
  std::unique_ptr<SDPLoader_Interface> loader;
  if (port == kHidPortName)
    loader = std::make_unique<HID_SDPLoader>(kSdpVendorId, kSdpProductId);
  else
    loader = std::make_unique<Serial_SDPLoader>(port);
  if (!loader->open()) {
    setCause(cause, port == kHidPortName ? "no serial download device on USB"
                                         : "could not open the port");
    return aErrNotReady;
  }
  if (port != kHidPortName) alignCommands(*loader, strayBytes);
  SDPClient client;
  if (!client.setLoader(std::move(loader)) || !client.open()) {
    setCause(cause, "could not open the port");
    return aErrNotReady;
  }
  for (size_t n = 0; n < blocks.size(); ++n) {
    const BirdBlock& block = blocks[n];
    const std::vector<uint8_t> image(block.image(), block.image() + block.imageSize());
    debugPrint(DEBUG_Updater, "Writting Block: %d, size %zu, address: %d\b", static_cast<int>(n),
               image.size(), static_cast<int>(block.address));
    const int result = client.writeFile(image, block.address);
    if (result != SDPClient::kWriteOk) {
      setCause(cause, "loader block " + std::to_string(n) + " was not taken (result " +
                          std::to_string(result) + ")");
      return aErrConnection;
    }
  }
  client.jumpAddress(bird.jumpAddress(BIRD_DEFAULT_JUMP_ADDRESS));
  return aErrNone;
}

bool identifyThroughLiveloader(UpdaterApp& app, const std::string& port, uint32_t serial,
                               const std::string& birdPath, bool resetAfter, uint32_t strayBytes,
                               uint32_t identifier[4], std::string* cause) {
  if (serial == 0) serial = kPlaceholderSerial;
  std::unique_ptr<BirdFile> bird;
  try {
    if (!birdPath.empty()) {
      if (serial == kPlaceholderSerial) {
        app.display->print(
            1, "Add serial number or remove the bird filename to use a default recovery image.");
        return false;
      }
      bird = std::make_unique<BirdFile>(birdPath);
    } else {
      bird = std::make_unique<BirdFile>(storedLiveloader(app, serial));
    }
  } catch (const std::runtime_error& error) {
    return setCause(cause, std::string("no liveloader to start: ") + error.what());
  }

  if (loadLiveloaderSDP(*bird, port, strayBytes, cause) != aErrNone) {
    debugPrint(DEBUG_APP, "Error loading liveloader.\n");
    return false;
  }

  // The liveloader enumerates under the module's serial number or, when it
  // does not know it, under the placeholder.
  Module module(0, static_cast<uint8_t>(0));
  if (upgrade::reconnectModule(module, upgrade::kFindLiveloader, serial) != aErrNone) {
    debugPrint(DEBUG_APP, "Could not connect to device.\n");
    return setCause(cause, "the liveloader did not appear on USB as " + hex8(serial));
  }
  if (!readIdentifier(module, identifier, cause)) return false;
  if (resetAfter) {
    SystemClass system;
    system.init(&module, 0);
    (void)system.reset();
  }
  return true;
}

bool recoverOverUsb(UpdaterDisplayInterface* display, const BirdFile& bird, uint32_t serial) {
  Module module(0, static_cast<uint8_t>(0));
  if (upgrade::reconnectModule(module, upgrade::kFindLiveloader, serial) != aErrNone) {
    display->print(1, "Could not connect to device");
    return false;
  }
  if (FirmwareStage(UpgradeProgress(display), module, bird) != aErrNone) {
    display->print(1, "Failed to transfer firmware");
    return false;
  }
  return true;
}

}  // namespace recovery
