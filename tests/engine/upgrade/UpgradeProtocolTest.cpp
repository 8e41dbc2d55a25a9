// The upgrade protocol against the simulated module's loader, over TCP
// loopback: piece sizes, sum checks, resends, PREPARE failures, block size 0,
// dropped links, LOAD with a reconnection and the REBOOT wait.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BirdFile.h"
#include "BirdWriter.h"
#include "Module.h"
#include "platform/socket.h"
#include "SimModule.h"
#include "SimUpgrade.h"
#include "RecordingDisplay.h"
#include "upgrade/UpdaterEntity.h"

using Mirovane::Kelvarion::Module;
using simmodule::LoaderRequest;

namespace {

enum : uint8_t { INIT = 0, DATA = 1, LOAD = 2, PREPARE = 3, SUM = 4, WRITE = 5, REBOOT = 6 };

// One request written compactly: "D26" DATA with 26 bytes, "S" SUM, "W64"
// WRITE of 64, "P" PREPARE, "I" INIT, "L" LOAD, "R" REBOOT.
std::string describe(const LoaderRequest& r) {
  switch (r.option) {
    case INIT: return "I";
    case DATA: return "D" + std::to_string(r.payloadLength);
    case LOAD: return "L";
    case PREPARE: return "P";
    case SUM: return "S";
    case WRITE: return "W" + std::to_string(r.value);
    case REBOOT: return "R";
    default: return "?" + std::to_string(r.option);
  }
}

Bytes pattern(size_t count, uint8_t seed) {
  Bytes bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
  return bytes;
}

// Block data as the BIRD file holds it: big-endian address, then the code.
Bytes blockData(uint32_t address, const Bytes& code) {
  Bytes data(4 + code.size());
  for (int i = 0; i < 4; ++i) data[i] = static_cast<uint8_t>(address >> (24 - 8 * i));
  std::copy(code.begin(), code.end(), data.begin() + 4);
  return data;
}

class UpgradeProtocol : public ::testing::Test {
 protected:
  void SetUp() override {
    simmodule::ModuleConfig config;
    config.serialNumber = 0x40F5849A;
    config.model = 5;
    config.firmwareVersion = 0x10000001;
    config.build = 100;
    simulator = std::make_unique<simmodule::Simulator>(config);
    ASSERT_TRUE(simulator->listenTcp(platform::ipv4Loopback(), 0));
    ASSERT_TRUE(simulator->start());
    module = std::make_unique<Module>(0, static_cast<uint8_t>(0));
    linkSpec spec{};
    spec.type = LINKTYPE_TCPIP;
    spec.serialNumber = config.serialNumber;
    spec.model = config.model;
    spec.ipAddress = platform::ipv4Loopback();
    spec.ipPort = simulator->tcpPort();
    ASSERT_EQ(aErrNone, module->connectFromSpec(spec));
  }
  void TearDown() override {
    module.reset();
    simulator.reset();
  }

  void configure(const std::function<void(simmodule::UpgradeSettings&)>& change) {
    simmodule::UpgradeSettings settings;
    settings.faults.rebootDelayMs = 300;
    change(settings);
    simmodule::configureUpgrade(*simulator, settings);
  }
  std::vector<std::string> journal() {
    std::vector<std::string> out;
    simmodule::inspectUpgrade(*simulator, [&](simmodule::UpgradeState& s) {
      for (const LoaderRequest& r : s.loader.journal()) out.push_back(describe(r));
    });
    return out;
  }
  Bytes flashAt(uint32_t address) {
    Bytes out;
    simmodule::inspectUpgrade(*simulator, [&](simmodule::UpgradeState& s) {
      auto it = s.loader.flash().find(address);
      if (it != s.loader.flash().end()) out = it->second;
    });
    return out;
  }
  Bytes loaderAt(uint32_t address) {
    Bytes out;
    simmodule::inspectUpgrade(*simulator, [&](simmodule::UpgradeState& s) {
      auto it = s.loader.loaderImage().find(address);
      if (it != s.loader.loaderImage().end()) out = it->second;
    });
    return out;
  }
  // A BIRD file with the given loader and firmware blocks.
  BirdFile bird(const std::vector<Bytes>& loaders, const std::vector<Bytes>& firmware) {
    BirdWriter writer;
    writer.addInfo("Test", "1.0", "40F5849A", "Birch");
    uint32_t address = 0x20000000;
    for (const Bytes& code : loaders) writer.addImage(0, address += 0x1000, code);
    address = 0x08000000;
    for (const Bytes& code : firmware) writer.addImage(1, address += 0x1000, code);
    const Bytes file = writer.fileBytes();
    return BirdFile("test.bird", file.data(), file.size());
  }

  std::unique_ptr<simmodule::Simulator> simulator;
  std::unique_ptr<Module> module;
};

TEST_F(UpgradeProtocol, FirmwareBlockGoesOutInPiecesOfTheLoaderBlockSize) {
  configure([](simmodule::UpgradeSettings& s) { s.faults.blockSize = 64; });
  UpdaterEntity entity(*module, true);
  const Bytes code = pattern(100, 3);
  const Bytes block = blockData(0x08001000, code);
  uint16_t size = 0;
  ASSERT_EQ(aErrNone, entity.TransferPrepare(block.data(), block.size(), 0, &size));
  EXPECT_EQ(64, size);
  ASSERT_EQ(aErrNone, entity.FirmwareTransfer(block.data(), block.size(), size, nullptr));
  const std::vector<std::string> expected = {"P",   "D26", "D26", "D12", "S",  "W64",
                                             "D26", "D10", "S",   "W36"};
  EXPECT_EQ(expected, journal());
  EXPECT_EQ(code, flashAt(0x08001000));
}

TEST_F(UpgradeProtocol, LoaderBlockIsOneSumAndNoWrite) {
  UpdaterEntity entity(*module, true);
  const Bytes code = pattern(30, 9);
  const Bytes block = blockData(0x20001000, code);
  uint16_t size = 0;
  ASSERT_EQ(aErrNone, entity.TransferPrepare(block.data(), block.size(), 0, &size));
  ASSERT_EQ(aErrNone, entity.LoaderTransfer(block.data(), block.size()));
  ASSERT_EQ(aErrNone, entity.LoaderStart());
  const std::vector<std::string> expected = {"P", "D26", "D4", "S", "L"};
  EXPECT_EQ(expected, journal());
  EXPECT_EQ(code, loaderAt(0x20001000));
}

TEST_F(UpgradeProtocol, SumOneOffFailsThePiece) {
  configure([](simmodule::UpgradeSettings& s) { s.faults.sumOffAt = 0; });
  UpdaterEntity entity(*module, true);
  const Bytes code = pattern(40, 1);
  uint32_t counter = 0;
  EXPECT_EQ(aErrInvalidOption, entity.BlockTransfer(code.data(), code.size(), &counter));
  // The next block's sum is right again.
  EXPECT_EQ(aErrNone, entity.BlockTransfer(code.data(), code.size(), &counter));
}

TEST_F(UpgradeProtocol, WrongAcceptedCountResendsThePiece) {
  configure([](simmodule::UpgradeSettings& s) {
    s.faults.blockSize = 64;
    s.faults.wrongCountAt = 1;
    s.faults.wrongCountRepeats = 2;
  });
  UpdaterEntity entity(*module, true);
  const Bytes code = pattern(60, 5);
  const Bytes block = blockData(0x08002000, code);
  uint16_t size = 0;
  ASSERT_EQ(aErrNone, entity.TransferPrepare(block.data(), block.size(), 0, &size));
  ASSERT_EQ(aErrNone, entity.FirmwareTransfer(block.data(), block.size(), size, nullptr));
  const std::vector<std::string> expected = {"P", "D26", "D26", "D26", "D26", "D8", "S", "W60"};
  EXPECT_EQ(expected, journal());
  EXPECT_EQ(code, flashAt(0x08002000));
}

TEST_F(UpgradeProtocol, AcceptedCountThatNeverMatchesGivesUp) {
  configure([](simmodule::UpgradeSettings& s) {
    s.faults.wrongCountAt = 0;
    s.faults.wrongCountRepeats = -1;
  });
  UpdaterEntity entity(*module, true);
  const Bytes code = pattern(30, 2);
  uint32_t counter = 0;
  EXPECT_EQ(aErrPacket, entity.BlockTransfer(code.data(), code.size(), &counter));
  // The first piece and its bounded resends, nothing after them.
  EXPECT_EQ(upgrade::kMaxResends + 1, journal().size());
}

TEST_F(UpgradeProtocol, BlockSizeZeroSendsNothingAndNoReboot) {
  configure([](simmodule::UpgradeSettings& s) { s.faults.blockSize = 0; });
  BirdFile file = bird({}, {pattern(50, 4)});
  EXPECT_EQ(aErrInvalidOption, FirmwareStage(nullptr, *module, file));
  const std::vector<std::string> expected = {"P"};
  EXPECT_EQ(expected, journal());
}

TEST_F(UpgradeProtocol, ImageBlockTooShortForItsAddressIsRefused) {
  BirdWriter writer;
  writer.addInfo("Test", "1.0", "40F5849A", "Birch");
  writer.addBlock(1, 0, {0x08, 0x00});  // a firmware block of 2 bytes: no room for an address
  const Bytes bytes = writer.fileBytes();
  BirdFile file("short.bird", bytes.data(), bytes.size());
  EXPECT_EQ(aErrSize, FirmwareStage(nullptr, *module, file));
  EXPECT_TRUE(journal().empty());
}

TEST_F(UpgradeProtocol, PrepareErrorEndsLoaderStageBeforeLoad) {
  configure([](simmodule::UpgradeSettings& s) { s.faults.prepareStatus = 3; });
  BirdFile file = bird({pattern(30, 1), pattern(30, 2)}, {});
  EXPECT_EQ(aErrInvalidOption, LoaderStage(nullptr, *module, file));
  const std::vector<std::string> expected = {"I", "P"};
  EXPECT_EQ(expected, journal());
}

TEST_F(UpgradeProtocol, PrepareTimeoutStillSendsTheLoaderBlock) {
  configure([](simmodule::UpgradeSettings& s) { s.faults.silentOptions = 1u << PREPARE; });
  const Bytes code = pattern(30, 6);
  BirdFile file = bird({code}, {});
  EXPECT_EQ(aErrNone, LoaderStage(nullptr, *module, file));
  const std::vector<std::string> expected = {"I", "P", "D26", "D4", "S", "L"};
  EXPECT_EQ(expected, journal());
  EXPECT_EQ(code, loaderAt(0x20001000));
}

TEST_F(UpgradeProtocol, FailedLoaderBlockMeansNoLoad) {
  configure([](simmodule::UpgradeSettings& s) { s.faults.sumOffAt = 0; });
  BirdFile file = bird({pattern(30, 1), pattern(30, 2)}, {});
  EXPECT_EQ(aErrInvalidOption, LoaderStage(nullptr, *module, file));
  for (const std::string& request : journal()) EXPECT_NE("L", request);
}

TEST_F(UpgradeProtocol, FailedFirstFirmwareBlockMeansNoReboot) {
  configure([](simmodule::UpgradeSettings& s) {
    s.faults.blockSize = 64;
    s.faults.writeStatus = 0;
    s.faults.sumOffAt = 0;
  });
  BirdFile file = bird({}, {pattern(40, 1), pattern(40, 2)});
  EXPECT_EQ(aErrInvalidOption, FirmwareStage(nullptr, *module, file));
  const std::vector<std::string> requests = journal();
  EXPECT_EQ(0, std::count(requests.begin(), requests.end(), "R"));
  EXPECT_TRUE(module->isConnected());
}

TEST_F(UpgradeProtocol, StagesMoveEveryByteAndTheModuleRestarts) {
  configure([](simmodule::UpgradeSettings& s) {
    s.faults.blockSize = 128;
    s.newBuild = 101;
  });
  const Bytes loader = pattern(70, 11);
  const Bytes first = pattern(300, 12);
  const Bytes second = pattern(129, 13);
  BirdFile file = bird({loader}, {first, second});
  ASSERT_EQ(aErrNone, LoaderStage(nullptr, *module, file));
  ASSERT_EQ(aErrNone, FirmwareStage(nullptr, *module, file));
  EXPECT_FALSE(module->isConnected());
  EXPECT_EQ(loader, loaderAt(0x20001000));
  EXPECT_EQ(first, flashAt(0x08001000));
  EXPECT_EQ(second, flashAt(0x08002000));
  uint32_t build = 0;
  simmodule::inspectUpgrade(*simulator, [&](simmodule::UpgradeState& s) {
    build = simulator->primary().config().build;
    EXPECT_EQ(1u, s.reboots);
  });
  EXPECT_EQ(101u, build);
}

TEST_F(UpgradeProtocol, LoadThatDropsTheLinkReconnectsAndHearsTheLoader) {
  configure([](simmodule::UpgradeSettings& s) {
    s.faults.dropOnLoad = true;
    s.faults.rebootDelayMs = 200;
  });
  UpdaterEntity entity(*module, true);
  EXPECT_EQ(aErrNone, entity.LoaderStart());
  EXPECT_TRUE(module->isConnected());

}

TEST_F(UpgradeProtocol, LinkDroppedMidTransferFailsPromptly) {
  configure([](simmodule::UpgradeSettings& s) {
    s.faults.blockSize = 256;
    s.faults.dropAtData = 3;
  });
  BirdFile file = bird({}, {pattern(200, 1)});
  const auto start = std::chrono::steady_clock::now();
  EXPECT_NE(aErrNone, FirmwareStage(nullptr, *module, file));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  const std::vector<std::string> requests = journal();
  EXPECT_EQ(0, std::count(requests.begin(), requests.end(), "R"));
}

TEST_F(UpgradeProtocol, RebootThatNeverDropsTheLinkIsWaitedForBoundedly) {
  configure([](simmodule::UpgradeSettings& s) { s.faults.ignoreReboot = true; });
  UpdaterEntity entity(*module, true);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(aErrNone, entity.LoaderReboot(nullptr));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(upgrade::kRebootPolls * upgrade::kRebootPollMs));
  EXPECT_LT(waited, std::chrono::seconds(15));
}

// The link drops shortly after REBOOT: the wait ends soon after the drop,
// not at the next step of the busy indicator, which is still shown.
TEST_F(UpgradeProtocol, RebootReturnsSoonAfterTheDropAndShowsTheBusyIndicator) {
  configure([](simmodule::UpgradeSettings& s) { s.faults.rebootDelayMs = 2000; });
  UpdaterEntity entity(*module, true);
  RecordingDisplay display;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(aErrNone, entity.LoaderReboot(&display));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_FALSE(module->isConnected());
  EXPECT_GE(display.busyFrames, 1);
  EXPECT_TRUE(display.busyEnded);
  EXPECT_EQ("Verifying Update", display.busyLabel);
  // Generous: the drop is seen within milliseconds, the wait's bound is 5 s.
  EXPECT_LT(waited, std::chrono::milliseconds(2500));
  const std::vector<std::string> requests = journal();
  EXPECT_EQ(1, std::count(requests.begin(), requests.end(), "R"));
}

TEST_F(UpgradeProtocol, SilentLoaderTimesOut) {
  configure([](simmodule::UpgradeSettings& s) { s.faults.silentOptions = 1u << INIT; });
  BirdFile file = bird({pattern(10, 1)}, {});
  EXPECT_EQ(aErrTimeout, LoaderStage(nullptr, *module, file));
}

}  // namespace
