// The built Updater inside a USB test bed with simulated modules: the real
// libusb path for -D and -U, the loader stage's drop off the bus and the
// reconnection, a module pulled out in the middle of a transfer, and a
// device that another process holds.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <sstream>
#include <thread>

#include "BirdFile.h"
#include "BirdWriter.h"
#include "ChildProcess.h"
#include "TempDir.h"
#include "UsbBed.h"

namespace {

constexpr uint32_t kSerial = 0x40F5849A;
const char* const kSerialText = "40F5849A";
constexpr uint32_t kFirmwareBase = 0x08000000;

Bytes code(size_t count, uint32_t seed) {
  Bytes bytes(count);
  for (uint8_t& b : bytes) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<uint8_t>(seed >> 16);
  }
  return bytes;
}

// A "Birch" build: a loader block and two firmware blocks, with serial offsets.
bool writeBird(const std::string& path, uint32_t seed, size_t firmwareBytes = 3000) {
  BirdWriter writer;
  writer.addInfo("Kelvarion", "1.0", "00000000", "Birch");
  writer.addSerialOffsets(0x08000100, 0x08000200);
  writer.addImage(0, 0x20000000, code(200, seed));
  writer.addImage(1, kFirmwareBase, code(firmwareBytes, seed + 1));
  writer.addImage(1, kFirmwareBase + 0x10000, code(1000, seed + 2));
  return writer.writeFile(path);
}

std::map<uint32_t, Bytes> expectedFlash(const std::string& path, uint32_t serial) {
  BirdFile file(path);
  if (file.hasSerialBlock()) file.setSerialNumber(serial);
  std::map<uint32_t, Bytes> flash;
  for (const BirdBlock& block : file.blocksOfType(1)) flash[block.address] = Bytes(block.data + 4, block.data + block.length);
  return flash;
}

// The listing from its search line on, module rows sorted (the bus order is not fixed).
std::string listing(const std::string& out) {
  const size_t start = out.find("Searching");
  std::istringstream in(start == std::string::npos ? std::string() : out.substr(start));
  std::vector<std::string> head, rows;
  std::string line;
  while (std::getline(in, line)) (head.size() < 3 ? head : rows).push_back(line);
  std::sort(rows.begin(), rows.end());
  std::string text;
  for (const auto* part : {&head, &rows})
    for (const std::string& l : *part) text += l + "\n";
  return text;
}

class UsbEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_UMOCKDEV();
    ASSERT_TRUE(usb.bed->ok()) << usb.bed->error();
    dir = temp.path();
    home = dir + "/home";
    work = dir + "/work";
    mkdir(home.c_str(), 0755);
    mkdir(work.c_str(), 0755);
  }

  // withoutOverride: the program may not override file permissions (as
  // root, it runs without the capabilities for it).
  RunResult updater(const std::vector<std::string>& args, bool withoutOverride = false) {
    std::vector<std::string> argv;
    if (withoutOverride && geteuid() == 0)
      argv = {access("/usr/bin/setpriv", X_OK) == 0 ? "/usr/bin/setpriv" : "/bin/setpriv", "--inh-caps=-all", "--bounding-set=-dac_override,-dac_read_search", "--"};
    argv.push_back(UPDATER_EXE);
    argv.insert(argv.end(), args.begin(), args.end());
    // No update server: the address is one nothing listens on.
    argv.insert(argv.end(), {"-u", "http://127.0.0.1:9/cgi/u"});
    std::vector<std::string> env = usb.bed->childEnvironment();
    env.push_back("HOME=" + home);
    return runProgram(argv, env, 60, work);
  }

  UsbModule* birch(const std::function<void(simmodule::UpgradeSettings&)>& change = nullptr) {
    simmodule::UpgradeSettings settings;
    settings.faults.blockSize = 256;
    settings.faults.rebootDelayMs = 300;
    settings.newBuild = 101;
    if (change) change(settings);
    return usb.add(moduleConfig(kSerial, 5), &settings);
  }

  std::map<uint32_t, Bytes> flash(UsbModule& module) {
    std::map<uint32_t, Bytes> out;
    simmodule::inspectUpgrade(*module.simulator, [&](simmodule::UpgradeState& s) { out = s.loader.flash(); });
    return out;
  }
  std::string attributes() { return readFile(home + "/.mirovane/updater/" + kSerialText + "/.settings"); }

  UsbBed usb;
  TempDir temp{"usb-e2e-"};
  std::string dir, home, work;
};

TEST_F(UsbEndToEnd, ListsEachModuleOnTheBus) {
  ASSERT_TRUE(usb.add(moduleConfig(0x40F5849A, 19, 4, 0x2300002A, 4711)));
  ASSERT_TRUE(usb.add(moduleConfig(0x0012ABCD, 6, 2, 0xA0000007, 12)));
  const RunResult run = updater({"-D"});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_EQ(
      "Searching for Kelvarion devices\n"
      "Discovered Devices: (USB)\n"
      "    Device    Module   Router  Model          Firmware Version (Build)\n"
      "    0012ABCD  02       02      Unknown       10.0.7 (12)\n"
      "    40F5849A  04       04      Ironwood       2.3.42 (4711)\n",
      listing(run.out));
}

TEST_F(UsbEndToEnd, ListsNothingOnAnEmptyBus) {
  const RunResult run = updater({"-D"});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_EQ(
      "Searching for Kelvarion devices\n"
      "Discovered Devices: (USB)\n"
      "    No devices found.\n",
      listing(run.out));
}

// The loader drops off the bus when it starts and comes back; REBOOT takes
// the module off again, and it returns running the new build.
TEST_F(UsbEndToEnd, UpdateReconnectsAfterTheLoaderStageAndFlashesThePatchedImage) {
  UsbModule* module = birch([](simmodule::UpgradeSettings& s) { s.faults.dropOnLoad = true; });
  ASSERT_TRUE(module);
  const std::string path = dir + "/birch.bird";
  ASSERT_TRUE(writeBird(path, 7));
  const RunResult run = updater({"-U", "-d", kSerialText, "-f", path});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_NE(std::string::npos, run.out.find("Update time: ")) << run.out;
  EXPECT_EQ(expectedFlash(path, kSerial), flash(*module));
  EXPECT_NE(std::string::npos, attributes().find("LATEST_TRANSFER=" + path)) << attributes();
  // Plugged in at the start, after the loader's drop and after the reboot
  // (which comes back once its delay is over).
  for (int i = 0; i < 2000 && module->port->plugs() < 3; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(3u, module->port->plugs());
  uint32_t reboots = 0;
  simmodule::inspectUpgrade(*module->simulator, [&](simmodule::UpgradeState& s) { reboots = s.reboots; });
  EXPECT_EQ(1u, reboots);
}

// Pulled out and plugged in again: the module is back on the bus as a new
// device, here under the liveloader's placeholder serial number.
TEST_F(UsbEndToEnd, ModulePluggedInAgainIsListedUnderItsNewSerial) {
  UsbModule* module = usb.add(moduleConfig(kSerial, 5));
  ASSERT_TRUE(module);
  module->port->setReplugSerial("DEADDEAD");
  RunResult run = updater({"-D"});
  EXPECT_NE(std::string::npos, run.out.find("    40F5849A  02       02      Birch")) << run.out;
  module->port->pullOut();
  run = updater({"-D"});
  EXPECT_NE(std::string::npos, run.out.find("    No devices found.")) << run.out;
  module->port->setPresent(true);
  for (int i = 0; i < 2000 && module->port->plugs() < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  run = updater({"-D"});
  EXPECT_EQ(0, run.exitCode) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("    DEADDEAD  02       02      Birch")) << run.out;
  EXPECT_EQ(std::string::npos, run.out.find("40F5849A")) << run.out;
}

TEST_F(UsbEndToEnd, ModulePulledOutMidTransferFailsWithoutARecord) {
  UsbModule* module = birch();
  ASSERT_TRUE(module);
  const std::string path = dir + "/birch.bird";
  ASSERT_TRUE(writeBird(path, 9, 40000));
  RunResult run;
  std::thread updating([&] { run = updater({"-U", "-d", kSerialText, "-f", path}); });
  // Out it goes once part of the firmware has arrived.
  const bool midway = module->simulator->waitFor([](const simmodule::Stats& s) { return s.packets > 400; }, 120000);
  module->port->pullOut();
  updating.join();
  ASSERT_TRUE(midway) << run.out << run.err;
  EXPECT_EQ(1, run.exitCode) << run.out << run.err;
  EXPECT_NE(std::string::npos, run.out.find("Update time: ")) << run.out;
  EXPECT_NE(std::string::npos, run.err.find("Failed to transfer firmware")) << run.err;
  EXPECT_EQ(std::string::npos, attributes().find("LATEST_TRANSFER")) << attributes();
}

TEST_F(UsbEndToEnd, DeviceHeldByAnotherProcessIsBusy) {
  UsbModule* module = birch();
  ASSERT_TRUE(module);
  module->port->setHeldElsewhere(true);
  RunResult run = updater({"-D"});
  EXPECT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_NE(std::string::npos, run.out.find("    40F5849A  [Error (25): Is someone else connected to this device?]"))
      << run.out;

  const std::string path = dir + "/birch.bird";
  ASSERT_TRUE(writeBird(path, 3));
  run = updater({"-U", "-d", kSerialText, "-f", path});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos, run.err.find("Failed to connect to module [40F5849A]")) << run.err;
  EXPECT_TRUE(flash(*module).empty());
}

TEST_F(UsbEndToEnd, DeviceWithoutPermissionIsReportedWithTheWayToAllowIt) {
  UsbModule* module = birch();
  ASSERT_TRUE(module);
  ASSERT_TRUE(module->port->denyAccess());
  RunResult run = updater({"-D"}, true);
  EXPECT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_NE(std::string::npos,
            run.err.find("1 Kelvarion USB module(s) present that this user may not open (permission denied)."))
      << run.err;
  EXPECT_NE(std::string::npos, run.err.find("60-kelvarion.rules")) << run.err;
  EXPECT_EQ(std::string::npos, run.out.find("40F5849A")) << run.out;

  const std::string path = dir + "/birch.bird";
  ASSERT_TRUE(writeBird(path, 3));
  run = updater({"-U", "-d", kSerialText, "-f", path}, true);
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos, run.err.find("Failed to connect to module [40F5849A]")) << run.err;
  EXPECT_TRUE(flash(*module).empty());
}

}  // namespace
