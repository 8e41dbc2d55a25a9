// The liveloader path in process: the serial download boot loader (the fake
// HID device, or a pseudo-terminal) takes the loader blocks and jumps; the
// jump makes a simulated module appear on a fake USB bus, under the
// placeholder serial number or its own; the identifier is read from it and
// the firmware stage writes the firmware.
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <string>

#include "BirdFile.h"
#include "FakeHidDevice.h"
#include "FakeUsbBus.h"
#include "RecordingDisplay.h"
#include "RecoveryFixture.h"
#include "SdpPtySimulator.h"
#include "SimUpgrade.h"
#include "UpdaterApp.h"
#include "store/UpdaterStore.h"

namespace {

constexpr uint32_t kSerial = 0x40F5849A;
constexpr uint32_t kPlaceholder = 0xDEADDEAD;
constexpr uint32_t kJump = 0x20002000;
const uint32_t kWords[4] = {0xA0A1A2A3, 0xB0B1B2B3, 0xC0C1C2C3, 0xD0D1D2D3};

// Loader blocks for the boot loader's RAM and firmware blocks for the module.
BirdLayout liveloaderLayout() {
  BirdLayout layout;
  layout.loader = {{0x20000000, patternBytes(2500, 11)}, {0x20001000, patternBytes(700, 12)}};
  layout.jumpAddress = kJump;
  layout.firmware = {{0x08001000, patternBytes(3000, 13)}, {0x08003000, patternBytes(129, 14)}};
  layout.endBlock = false;
  layout.serial = "40F5849A";
  return layout;
}

class Liveloader : public RecoveryEndToEnd {
 protected:
  void SetUp() override {
    RecoveryEndToEnd::SetUp();
    for (const std::string& d : {home + "/.mirovane", store}) mkdir(d.c_str(), 0755);
    birdPath = dir + "/liveloader.bird";
    ASSERT_TRUE(writeRecoveryBird(birdPath, liveloaderLayout()));
    hid.install();
    appearAs(kPlaceholder);
  }
  void TearDown() override {
    hid.uninstall();
    RecoveryEndToEnd::TearDown();
  }

  // The module that appears on USB once the boot loader jumps into RAM.
  void appearAs(uint32_t serial, simmodule::LoaderFaults faults = simmodule::LoaderFaults()) {
    hid.device().onJump = [this, serial, faults](uint32_t) {
      simmodule::ModuleConfig config;
      config.serialNumber = serial;
      config.model = 5;
      std::copy(kWords, kWords + 4, config.identifier);
      bus.plug(config, [faults](simmodule::Simulator& simulator) {
        simmodule::UpgradeSettings settings;
        settings.faults = faults;
        settings.faults.rebootDelayMs = 100;
        simmodule::configureUpgrade(simulator, settings);
      });
    };
  }

  // The identifier as the module's words give it: subindex i is word 3 - i.
  static void expectIdentifier(const uint32_t identifier[4]) {
    for (int i = 0; i < 4; ++i) EXPECT_EQ(kWords[3 - i], identifier[i]) << i;
  }
  void expectLoaderBlocksWritten() {
    const std::vector<simsdp::WrittenBlock> blocks = hid.device().blocks();
    const BirdLayout layout = liveloaderLayout();
    ASSERT_EQ(layout.loader.size(), blocks.size());
    for (size_t i = 0; i < blocks.size(); ++i) {
      EXPECT_EQ(layout.loader[i].address, blocks[i].address);
      EXPECT_EQ(layout.loader[i].code, blocks[i].bytes);
    }
    EXPECT_EQ(std::vector<uint32_t>{kJump}, hid.device().jumps());
  }
  std::map<uint32_t, Bytes> flashOf(uint32_t serial) {
    std::map<uint32_t, Bytes> flash;
    bus.withLatest(serial, [&](simmodule::Simulator& simulator) {
      simmodule::inspectUpgrade(simulator,
                                [&](simmodule::UpgradeState& s) { flash = s.loader.flash(); });
    });
    return flash;
  }
  void expectFirmwareIn(uint32_t serial) {
    std::map<uint32_t, Bytes> expected;
    for (const ImageBlock& block : liveloaderLayout().firmware) expected[block.address] = block.code;
    EXPECT_EQ(expected, flashOf(serial));
  }

  std::string birdPath;
  FakeUsbBus bus;
  simsdp::FakeHidDevice hid;
  RecordingDisplay display;
};

TEST_F(Liveloader, FingerprintStartsTheStoredLiveloaderAndReadsTheIdentifier) {
  // The liveloader's own file, kept in the store under the placeholder.
  UpdaterStore updaterStore(store);
  DeviceRecord record = updaterStore.getDevice(kPlaceholder);
  Bytes bytes;
  ASSERT_TRUE(readFileBytes(birdPath, bytes));
  ASSERT_EQ(aErrNone, record.writeFile("5.bird", bytes.data(), bytes.size()));
  record.attributes().set(ATTR_LATEST_DOWNLOAD, "5.bird");
  ASSERT_EQ(aErrNone, record.attributes().write());

  UpdaterApp app("http://127.0.0.1:9/cgi/u", store, &display);
  uint32_t identifier[4] = {};
  ASSERT_TRUE(app.identifyDevice(identifier, "USB", kPlaceholder, "", 115200, true))
      << display.all();
  EXPECT_EQ(DEVICE_KIND_LIVELOADER, app.deviceKind);
  expectIdentifier(identifier);
  expectLoaderBlocksWritten();
  EXPECT_FALSE(hid.isOpen());
}

TEST_F(Liveloader, RecoverWritesTheFirmwareThroughThePlaceholder) {
  UpdaterApp app("http://127.0.0.1:9/cgi/u", store, &display);
  ASSERT_TRUE(app.recover("USB", 0, 115200, kSerial, birdPath, false)) << display.all();
  expectLoaderBlocksWritten();
  expectFirmwareIn(kPlaceholder);
  EXPECT_TRUE(display.has("I:Recovering from Birdfile: " + birdPath)) << display.all();
  EXPECT_EQ(0, bus.opens(kSerial));
}

TEST_F(Liveloader, RecoverFindsALiveloaderThatKnowsItsSerialNumber) {
  appearAs(kSerial);
  UpdaterApp app("http://127.0.0.1:9/cgi/u", store, &display);
  ASSERT_TRUE(app.recover("USB", 0, 115200, kSerial, birdPath, false)) << display.all();
  expectFirmwareIn(kSerial);
  EXPECT_EQ(0, bus.opens(kPlaceholder));
}

TEST_F(Liveloader, RecoverAsksTheServerForTheModuleAndItsBuild) {
  mkdir((root + "/birch").c_str(), 0755);
  ASSERT_TRUE(writeRecoveryBird(root + "/birch/7.bird", liveloaderLayout()));
  startServer(
      "device 40F5849A\nfirmware birch\ncurrent 7\nbuild 7 1.0.7\n"
      "fingerprint D0D1D2D3 C0C1C2C3 B0B1B2B3 A0A1A2A3\n"
      "device DEADDEAD\nfirmware birch\ncurrent 7\nbuild 7 1.0.7\n");
  UpdaterApp app("http://127.0.0.1:" + std::to_string(port) + "/cgi/u", store, &display);
  ASSERT_TRUE(app.recover("USB", 0, 115200, 0, "", false)) << display.all();
  EXPECT_TRUE(display.has("I:Recovering firmware with build: 7")) << display.all();
  expectFirmwareIn(kPlaceholder);
  // The liveloader came from the server into the placeholder's entry, the
  // firmware into the module's.
  EXPECT_TRUE(exists(store + "/DEADDEAD/7.bird"));
  EXPECT_TRUE(exists(store + "/40F5849A/7.bird"));
}

TEST_F(Liveloader, AFailedFirmwareStageFailsTheRecovery) {
  simmodule::LoaderFaults faults;
  faults.writeStatus = 5;
  appearAs(kPlaceholder, faults);
  UpdaterApp app("http://127.0.0.1:9/cgi/u", store, &display);
  EXPECT_FALSE(app.recover("USB", 0, 115200, kSerial, birdPath, false));
  EXPECT_TRUE(display.has("E:Failed to transfer firmware")) << display.all();
}

TEST(SimulatedModuleIdentifier, IsFourNumbersSeparatedByCommas) {
  simmodule::ModuleConfig module;
  simmodule::EndpointConfig endpoint;
  std::string error;
  ASSERT_TRUE(simmodule::applySetting("identifier", "0xA0A1A2A3, 1,2 ,0xFFFFFFFF", &module,
                                      &endpoint, &error));
  EXPECT_EQ(0xA0A1A2A3u, module.identifier[0]);
  EXPECT_EQ(1u, module.identifier[1]);
  EXPECT_EQ(2u, module.identifier[2]);
  EXPECT_EQ(0xFFFFFFFFu, module.identifier[3]);
  for (const char* bad : {"1,2,3", "1,2,3,4,5", "1,2,,4", "1,2,3,0x100000000", ""})
    EXPECT_FALSE(simmodule::applySetting("identifier", bad, &module, &endpoint, &error)) << bad;
  EXPECT_EQ(0xA0A1A2A3u, module.identifier[0]);
}

TEST_F(Liveloader, FingerprintWithANamedFileNeedsASerialNumber) {
  UpdaterApp app("http://127.0.0.1:9/cgi/u", store, &display);
  uint32_t identifier[4] = {};
  EXPECT_FALSE(app.identifyDevice(identifier, "USB", kPlaceholder, birdPath, 115200, true));
  EXPECT_TRUE(display.has(
      "E:Add serial number or remove the bird filename to use a default recovery image."))
      << display.all();
  EXPECT_TRUE(hid.device().blocks().empty());
}

TEST_F(Liveloader, ABootLoaderThatMisbehavesStartsNothing) {
  UpdaterApp app("http://127.0.0.1:9/cgi/u", store, &display);
  for (int fault = 0; fault < 3; ++fault) {
    simsdp::DeviceConfig config;
    config.faults.noAck = fault == 0;
    config.faults.unsolicited = fault == 1;
    config.faults.wrongCompletion = fault == 2;
    simsdp::SdpPtySimulator serial(config);
    serial.device().onJump = hid.device().onJump;
    ASSERT_TRUE(serial.start());
    display.lines.clear();
    uint32_t identifier[4] = {};
    EXPECT_FALSE(app.identifyDevice(identifier, serial.slavePath(), kSerial, birdPath, 115200,
                                    false));
    const int result[] = {2, 3, 4};
    EXPECT_TRUE(display.has("E:Serial download boot loader on " + serial.slavePath() +
                            ": loader block 0 was not taken (result " +
                            std::to_string(result[fault]) + ")"))
        << display.all();
    EXPECT_TRUE(serial.device().jumps().empty());
    serial.stop();
  }
  EXPECT_FALSE(bus.plugged(kPlaceholder));
}

TEST_F(Liveloader, SerialDownloadOverAPseudoTerminal) {
  simsdp::SdpPtySimulator serial;
  serial.device().onJump = hid.device().onJump;
  ASSERT_TRUE(serial.start());
  UpdaterApp app("http://127.0.0.1:9/cgi/u", store, &display);
  ASSERT_TRUE(app.recover(serial.slavePath(), 0, 115200, kSerial, birdPath, false))
      << display.all();
  const std::vector<simsdp::WrittenBlock> blocks = serial.device().blocks();
  ASSERT_EQ(2u, blocks.size());
  EXPECT_EQ(liveloaderLayout().loader[0].code, blocks[0].bytes);
  EXPECT_EQ(std::vector<uint32_t>{kJump}, serial.device().jumps());
  expectFirmwareIn(kPlaceholder);
  serial.stop();
}

}  // namespace
