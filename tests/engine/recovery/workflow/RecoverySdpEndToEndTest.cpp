// -N through the simulated serial download boot loader on a pseudo-terminal:
// the liveloader's loader blocks go to their addresses and the boot loader
// jumps to the jump block's address. No module appears on USB here, so the
// fingerprint then fails with its lines (the whole liveloader path is tested
// in process, LiveloaderTest.cpp).
#include <sys/stat.h>

#include "RecoveryFixture.h"
#include "SdpPtySimulator.h"

namespace {

constexpr uint32_t kJump = 0x20003000;

BirdLayout liveloaderLayout() {
  BirdLayout layout;
  layout.loader = {{0x20000000, patternBytes(2500, 21)}, {0x20002000, patternBytes(100, 22)}};
  layout.jumpAddress = kJump;
  layout.endBlock = false;
  return layout;
}

TEST_F(RecoveryEndToEnd, FingerprintThroughSerialDownloadLoadsAndStartsTheLiveloader) {
  mkdir((root + "/liveloader").c_str(), 0755);
  ASSERT_TRUE(writeRecoveryBird(root + "/liveloader/5.bird", liveloaderLayout()));
  startServer("device DEADDEAD\nfirmware liveloader\ncurrent 5\nbuild 5 0.5\n");
  simsdp::SdpPtySimulator loader;
  ASSERT_TRUE(loader.start());

  const RunResult run = updater({"-N", "-s", loader.slavePath()});
  EXPECT_EQ(1, run.exitCode) << run.out << run.err;
  EXPECT_TRUE(contains(run.err, "the liveloader did not appear on USB as DEADDEAD")) << run.err;
  EXPECT_TRUE(contains(run.err, "Got no response from chip")) << run.err;

  const BirdLayout layout = liveloaderLayout();
  const std::vector<simsdp::WrittenBlock> blocks = loader.device().blocks();
  ASSERT_EQ(layout.loader.size(), blocks.size());
  for (size_t i = 0; i < blocks.size(); ++i) {
    EXPECT_EQ(layout.loader[i].address, blocks[i].address);
    EXPECT_EQ(layout.loader[i].code, blocks[i].bytes);
  }
  EXPECT_EQ(std::vector<uint32_t>{kJump}, loader.device().jumps());
  // The liveloader's file was fetched into the placeholder's store entry.
  EXPECT_TRUE(exists(storeEntry("DEADDEAD") + "/5.bird"));
  loader.stop();
}

TEST_F(RecoveryEndToEnd, FingerprintWithoutALiveloaderToStartTouchesNothing) {
  startServer("device 40F5849A\nfirmware birch\ncurrent 7\n");
  simsdp::SdpPtySimulator loader;
  ASSERT_TRUE(loader.start());
  const RunResult run = updater({"-N", "-s", loader.slavePath()});
  EXPECT_EQ(1, run.exitCode) << run.out << run.err;
  EXPECT_TRUE(contains(run.err, "no liveloader to start")) << run.err;
  EXPECT_TRUE(loader.device().blocks().empty());
  EXPECT_TRUE(loader.device().jumps().empty());
  loader.stop();
}

TEST_F(RecoveryEndToEnd, OnlyThePortNameUSBSelectsTheHidBootLoader) {
  mkdir((root + "/liveloader").c_str(), 0755);
  ASSERT_TRUE(writeRecoveryBird(root + "/liveloader/5.bird", liveloaderLayout()));
  startServer("device DEADDEAD\nfirmware liveloader\ncurrent 5\nbuild 5 0.5\n");
  // No HID boot loader is attached here.
  RunResult run = updater({"-N", "-s", "USB"});
  EXPECT_EQ(1, run.exitCode) << run.out << run.err;
  EXPECT_TRUE(contains(run.err, "Serial download boot loader on USB: no serial download device on USB"))
      << run.err;
  for (const char* name : {"usb", "USB1"}) {
    run = updater({"-N", "-s", name});
    EXPECT_EQ(1, run.exitCode) << run.out << run.err;
    EXPECT_TRUE(contains(run.err, std::string("Serial download boot loader on ") + name +
                                      ": could not open the port"))
        << run.err;
  }
}

}  // namespace
