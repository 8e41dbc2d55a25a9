// Recovery over USB end to end: the built Updater finds the serial download
// boot loader as a HID device on the simulated bus, writes the liveloader
// into it and starts it; the liveloader then appears on the bus as a module
// (under the placeholder serial 0xDEADDEAD) and is talked to over libusb.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <map>
#include <thread>

#include "BirdFile.h"
#include "BirdWriter.h"
#include "ChildProcess.h"
#include "TempDir.h"
#include "UsbBed.h"
#include "UsbBootLoader.h"

namespace {

constexpr uint32_t kJump = 0x20000400;

Bytes pattern(size_t count, uint32_t seed) {
  Bytes bytes(count);
  for (uint8_t& b : bytes) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<uint8_t>(seed >> 16);
  }
  return bytes;
}

class UsbRecovery : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_UMOCKDEV();
    ASSERT_TRUE(usb.bed->ok()) << usb.bed->error();
    dir = temp.path();
    home = dir + "/home";
    for (const std::string& d : {home, home + "/.mirovane", home + "/.mirovane/updater"}) mkdir(d.c_str(), 0755);
    loaderHandle = usb.plug(bootLoader.gadget);
    ASSERT_NE(0, loaderHandle);
  }

  // Runs Updater; when the boot loader starts the liveloader, the boot
  // loader leaves the bus and the liveloader module arrives on it.
  RunResult updaterWithLiveloader(const std::vector<std::string>& args, const simmodule::ModuleConfig& liveloader) {
    std::vector<std::string> argv = {UPDATER_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.insert(argv.end(), {"-u", "http://127.0.0.1:9/cgi/u"});
    std::vector<std::string> env = usb.bed->childEnvironment();
    env.push_back("HOME=" + home);
    RunResult run;
    std::thread program([&] { run = runProgram(argv, env, 120, dir); });
    uint32_t address = 0;
    if (bootLoader.waitForJump(120000, &address)) {
      jumpedTo = address;
      usb.bed->unplug(loaderHandle);
      simmodule::UpgradeSettings settings;
      settings.faults.blockSize = 256;
      settings.faults.rebootDelayMs = 300;
      module = usb.add(liveloader, &settings);
    }
    program.join();
    return run;
  }

  UsbBed usb;
  UsbBootLoader bootLoader;
  int loaderHandle = 0;
  uint32_t jumpedTo = 0;
  UsbModule* module = nullptr;
  TempDir temp{"usb-recovery-"};
  std::string dir, home;
};

TEST_F(UsbRecovery, FingerprintThroughTheHidBootLoaderAndTheLiveloaderOnUsb) {
  // The liveloader's file, stored under the placeholder serial.
  const std::string entry = home + "/.mirovane/updater/DEADDEAD";
  mkdir(entry.c_str(), 0755);
  BirdWriter writer;
  writer.addInfo("Kelvarion", "0.5", "DEADDEAD", "Liveloader");
  writer.addImage(0, 0x20000000, pattern(2500, 1));
  writer.addImage(0, 0x20002000, pattern(100, 2));
  writer.addJumpAddress(kJump);
  ASSERT_TRUE(writer.writeFile(entry + "/5.bird"));
  FILE* settings = fopen((entry + "/.settings").c_str(), "w");
  ASSERT_NE(nullptr, settings);
  fputs("LATEST_DOWNLOAD=5.bird\n", settings);
  fclose(settings);

  simmodule::ModuleConfig liveloader = moduleConfig(0xDEADDEAD, 19);
  const RunResult run = updaterWithLiveloader({"-N", "-s", "USB"}, liveloader);
  EXPECT_EQ(0, run.exitCode) << run.out << run.err;
  char expected[64];
  snprintf(expected, sizeof expected, "[ %08X %08X %08X %08X ]", liveloader.identifier[3], liveloader.identifier[2],
           liveloader.identifier[1], liveloader.identifier[0]);
  EXPECT_NE(std::string::npos, run.out.find(expected)) << run.out << run.err;

  EXPECT_EQ(kJump, jumpedTo);
  const std::vector<simsdp::WrittenBlock> blocks = bootLoader.hid.device().blocks();
  ASSERT_EQ(2u, blocks.size());
  EXPECT_EQ(0x20000000u, blocks[0].address);
  EXPECT_EQ(pattern(2500, 1), blocks[0].bytes);
  EXPECT_EQ(0x20002000u, blocks[1].address);
  EXPECT_EQ(pattern(100, 2), blocks[1].bytes);
}

TEST_F(UsbRecovery, RecoverWritesTheFirmwareIntoTheLiveloaderOverUsb) {
  // One file for both: the liveloader's loader block and the firmware.
  BirdWriter writer;
  writer.addInfo("Kelvarion", "1.0", "40F5849A", "Birch");
  writer.addImage(0, 0x20000000, pattern(1500, 3));
  writer.addJumpAddress(kJump);
  writer.addImage(1, 0x08000000, pattern(3000, 4));
  writer.addImage(1, 0x08010000, pattern(700, 5));
  const std::string path = dir + "/recovery.bird";
  ASSERT_TRUE(writer.writeFile(path));

  const RunResult run =
      updaterWithLiveloader({"-U", "-t", "RECOVER", "-s", "USB", "-d", "40F5849A", "-f", path}, moduleConfig(0xDEADDEAD, 5));
  EXPECT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_NE(std::string::npos, run.out.find("Update time: ")) << run.out;
  ASSERT_TRUE(module);
  std::map<uint32_t, Bytes> flash;
  simmodule::inspectUpgrade(*module->simulator, [&](simmodule::UpgradeState& s) { flash = s.loader.flash(); });
  EXPECT_EQ((std::map<uint32_t, Bytes>{{0x08000000, pattern(3000, 4)}, {0x08010000, pattern(700, 5)}}), flash);
}

}  // namespace
