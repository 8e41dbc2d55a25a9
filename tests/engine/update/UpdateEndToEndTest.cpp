// -U end to end: the real Updater against the reference update server and a
// simulated module found by TCP/IP discovery, inside an isolated network
// namespace. Checks the flashed bytes against the BIRD image with the serial
// number patched in, the build choices, the checks of file against module, the
// injected faults and the transfer record in the store.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <thread>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BirdFile.h"
#include "BirdWriter.h"
#include "Module.h"
#include "ChildProcess.h"
#include "RecordingDisplay.h"
#include "SimDiscovery.h"
#include "SimModule.h"
#include "SimUpgrade.h"
#include "TempDir.h"
#include "UpdaterApp.h"
#include "UpdaterDisplay.h"
#include "netns_guard.h"

namespace {

constexpr uint32_t kSerial = 0x40F5849A;
const char* kSerialText = "40F5849A";
constexpr uint32_t kFirmwareBase = 0x08000000;
constexpr uint32_t kSerialOffset = 0x08000100;
constexpr uint32_t kDescriptorOffset = 0x08000200;

Bytes code(size_t count, uint32_t seed) {
  Bytes bytes(count);
  for (uint8_t& b : bytes) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<uint8_t>(seed >> 16);
  }
  return bytes;
}

// A build for a "Birch": a loader block and two firmware blocks, with serial
// and descriptor offsets in the first firmware block unless serialInFile is
// given (then the file carries that serial number and no offsets).
bool writeBird(const std::string& path, uint32_t seed, const std::string& model = "Birch",
               const std::string& serialInFile = "") {
  BirdWriter writer;
  writer.addInfo("Kelvarion", "1.0", serialInFile.empty() ? "00000000" : serialInFile, model);
  if (serialInFile.empty()) writer.addSerialOffsets(kSerialOffset, kDescriptorOffset);
  writer.addImage(0, 0x20000000, code(200, seed));
  writer.addImage(1, kFirmwareBase, code(3000, seed + 1));
  writer.addImage(1, kFirmwareBase + 0x1000, code(1000, seed + 2));
  return writer.writeFile(path);
}

// The firmware the module must end up with: the file's firmware blocks after
// the serial-number patch.
std::map<uint32_t, Bytes> expectedFlash(const std::string& path, uint32_t serial) {
  BirdFile file(path);
  if (file.hasSerialBlock()) file.setSerialNumber(serial);
  std::map<uint32_t, Bytes> flash;
  for (const BirdBlock& block : file.blocksOfType(1))
    flash[block.address] = Bytes(block.data + 4, block.data + block.length);
  return flash;
}

std::map<std::string, std::string> readAttributes(const std::string& path) {
  std::map<std::string, std::string> items;
  const std::string text = readFile(path);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const size_t equals = line.find('=');
    if (equals != std::string::npos) items[line.substr(0, equals)] = line.substr(equals + 1);
    start = end + 1;
  }
  return items;
}

bool exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

class UpdateEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!inIsolatedNetworkNamespace()) GTEST_SKIP() << "needs an isolated network namespace";
    dir = temp.path();
    home = dir + "/home";
    work = dir + "/work";
    root = dir + "/server";
    store = home + "/.mirovane/updater";
    for (const std::string& d : {home, work, root, root + "/birch"}) mkdir(d.c_str(), 0755);
    ASSERT_TRUE(writeBird(root + "/birch/100.bird", 100));
    ASSERT_TRUE(writeBird(root + "/birch/101.bird", 101));
    writeText(root + "/catalog.txt",
              "device 40F5849A\nfirmware birch\ncurrent 101\nbuild 100 1.0.100\nbuild 101 1.0.101\n");
  }
  void TearDown() override {
    if (discovery) discovery->stop();
    if (simulator) simulator->stop();
    server.stop();
  }

  static void writeText(const std::string& path, const std::string& text) {
    FILE* file = fopen(path.c_str(), "w");
    ASSERT_NE(nullptr, file);
    fputs(text.c_str(), file);
    fclose(file);
  }

  void startServer(const std::vector<std::string>& faults = {}) {
    port = freeTcpPort();
    std::vector<std::string> argv = {UPDATE_SERVER_EXE, "--port", std::to_string(port), "--root", root};
    for (const std::string& fault : faults) {
      argv.push_back("--fault");
      argv.push_back(fault);
    }
    ASSERT_TRUE(server.start(argv, dir + "/server.log"));
    ASSERT_TRUE(waitForTcpPort(port, 20));
  }

  void startModule(uint8_t model = 5,
                   const std::function<void(simmodule::UpgradeSettings&)>& change = nullptr) {
    simmodule::ModuleConfig config;
    config.serialNumber = kSerial;
    config.model = model;
    config.firmwareVersion = 0x10000064;
    config.build = 100;
    simulator = std::make_unique<simmodule::Simulator>(config);
    ASSERT_TRUE(simulator->listenTcp(htonl(INADDR_ANY), 0));
    ASSERT_TRUE(simulator->start());
    discovery = std::make_unique<simmodule::DiscoveryResponder>(config, simulator->tcpPort());
    discovery->followRestarts(simulator.get());
    ASSERT_TRUE(discovery->start(inet_addr("10.77.0.1")));
    simmodule::UpgradeSettings settings;
    settings.faults.blockSize = 512;
    settings.faults.rebootDelayMs = 300;
    settings.newBuild = 101;
    if (change) change(settings);
    simmodule::configureUpgrade(*simulator, settings);
  }

  RunResult updater(std::vector<std::string> args) {
    // A module restarting after an earlier update is back within its delay.
    for (int i = 0; simulator && simulator->offline() && i < 1000; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::vector<std::string> argv = {UPDATER_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back("-u");
    argv.push_back("http://127.0.0.1:" + std::to_string(port ? port : 9) + "/cgi/u");
    return runProgram(argv, {"HOME=" + home}, 180, work);
  }

  std::map<uint32_t, Bytes> flash() {
    std::map<uint32_t, Bytes> out;
    simmodule::inspectUpgrade(*simulator, [&](simmodule::UpgradeState& s) { out = s.loader.flash(); });
    return out;
  }
  uint32_t reboots() {
    uint32_t n = 0;
    simmodule::inspectUpgrade(*simulator, [&](simmodule::UpgradeState& s) { n = s.reboots; });
    return n;
  }
  std::map<std::string, std::string> deviceAttributes() {
    return readAttributes(store + "/" + kSerialText + "/.settings");
  }
  // A failed update: exit 1, the time line, no record of a transfer.
  void expectFailedUpdate(const RunResult& run) {
    EXPECT_EQ(1, run.exitCode) << run.out << run.err;
    EXPECT_NE(std::string::npos, run.out.find("Update time: ")) << run.out;
    EXPECT_EQ(0u, deviceAttributes().count("LATEST_TRANSFER"));
    EXPECT_EQ(0u, reboots());
    EXPECT_FALSE(exists(work + "/.settings"));
  }

  TempDir temp{"update-e2e-"};
  std::string dir, home, work, root, store;
  unsigned port = 0;
  BackgroundProgram server;
  std::unique_ptr<simmodule::Simulator> simulator;
  std::unique_ptr<simmodule::DiscoveryResponder> discovery;
};

TEST_F(UpdateEndToEnd, GetThenUpdateFlashesThePatchedImageAndRecordsIt) {
  startServer();
  startModule();
  const RunResult run = updater({"-G", "-U", "-d", kSerialText});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_NE(std::string::npos, run.out.find("Updating firmware with build: 101")) << run.out;
  EXPECT_NE(std::string::npos, run.out.find("Update time: ")) << run.out;

  const std::map<uint32_t, Bytes> flashed = flash();
  EXPECT_EQ(expectedFlash(root + "/birch/101.bird", kSerial), flashed);
  // Serial little-endian at its offset, descriptor digits in the low bytes of UTF-16.
  const Bytes& first = flashed.at(kFirmwareBase);
  const size_t s = kSerialOffset - kFirmwareBase;
  EXPECT_EQ((Bytes{0x9A, 0x84, 0xF5, 0x40}), Bytes(first.begin() + s, first.begin() + s + 4));
  const size_t d = kDescriptorOffset - kFirmwareBase;
  for (size_t i = 0; i < 8; ++i) EXPECT_EQ(kSerialText[i], first[d + 2 * i]) << i;
  EXPECT_EQ(code(3000, 102)[d + 1], first[d + 1]);  // the bytes in between stay

  const std::map<std::string, std::string> attributes = deviceAttributes();
  EXPECT_EQ("101.bird", attributes.at("LATEST_TRANSFER"));
  EXPECT_EQ("101.bird", attributes.at("LATEST_DOWNLOAD"));
  EXPECT_EQ(24u, attributes.at("LAST_TRANSFER_DATE").size());
  EXPECT_FALSE(exists(work + "/.settings"));
  EXPECT_EQ(1u, reboots());
  simmodule::inspectUpgrade(*simulator, [&](simmodule::UpgradeState&) {
    EXPECT_EQ(101u, simulator->primary().config().build);
  });
}

TEST_F(UpdateEndToEnd, UpdateFromFileRecordsThePathAsTypedInTheStore) {
  startModule();
  const std::string path = dir + "/custom.bird";
  ASSERT_TRUE(writeBird(path, 7));
  const RunResult run = updater({"-U", "-d", kSerialText, "-f", path});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_NE(std::string::npos, run.out.find("Updating from Birdfile: " + path)) << run.out;
  EXPECT_EQ(expectedFlash(path, kSerial), flash());
  // The module was new to the store: its directory and .settings were made.
  EXPECT_EQ(path, deviceAttributes()["LATEST_TRANSFER"]);
  EXPECT_FALSE(exists(work + "/.settings"));
}

TEST_F(UpdateEndToEnd, BuildChoices) {
  startServer();
  startModule();
  // A named build that is not stored.
  RunResult run = updater({"-U", "-d", kSerialText, "-b", "12345"});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos, run.out.find("Updating firmware with build: 12345")) << run.out;
  EXPECT_NE(std::string::npos, run.err.find("Failed to load bird file")) << run.err;

  // The server's current build (101) is not stored: the latest download (100) is used.
  const std::string device = store + "/" + kSerialText;
  mkdir(device.c_str(), 0755);
  ASSERT_TRUE(writeBird(device + "/100.bird", 100));
  writeText(device + "/.settings", "LATEST_DOWNLOAD=100.bird\n");
  run = updater({"-U", "-d", kSerialText});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_NE(std::string::npos,
            run.out.find("New firmware is available.  Updater will proceed if valid firmware is "
                         "found locally."))
      << run.out;
  EXPECT_NE(std::string::npos, run.out.find("Updating with the Latest Download")) << run.out;
  EXPECT_EQ(expectedFlash(device + "/100.bird", kSerial), flash());
  EXPECT_EQ("100.bird", deviceAttributes()["LATEST_TRANSFER"]);

  // Once the current build is stored it is used, without a "Latest" message.
  ASSERT_TRUE(writeBird(device + "/101.bird", 101));
  run = updater({"-U", "-d", kSerialText});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_EQ(std::string::npos, run.out.find("Latest")) << run.out;
  EXPECT_EQ(expectedFlash(device + "/101.bird", kSerial), flash());
}

TEST_F(UpdateEndToEnd, NothingToChooseFrom) {
  startModule();  // no server
  const RunResult run = updater({"-U", "-d", kSerialText});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos, run.err.find("Could not find valid build for this device."))
      << run.err;
  EXPECT_EQ(std::string::npos, run.out.find("Update time")) << run.out;
}

TEST_F(UpdateEndToEnd, ModelMismatchFailsUnlessOverridden) {
  startModule(13);  // a "Cedar"
  const std::string path = dir + "/birch.bird";
  ASSERT_TRUE(writeBird(path, 3));
  RunResult run = updater({"-U", "-d", kSerialText, "-f", path});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos,
            run.err.find("Connected device model and Bird file model do not match [Cedar]"))
      << run.err;
  EXPECT_NE(std::string::npos, run.err.find("Birdfile failed validation")) << run.err;
  EXPECT_TRUE(flash().empty());

  run = updater({"-U", "-d", kSerialText, "-f", path, "-OVERRIDE"});
  EXPECT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_EQ(expectedFlash(path, kSerial), flash());
}

TEST_F(UpdateEndToEnd, SerialMismatchFailsUnlessOverridden) {
  startModule();
  const std::string path = dir + "/other.bird";
  ASSERT_TRUE(writeBird(path, 4, "Birch", "11112222"));  // no serial offsets, another serial
  RunResult run = updater({"-U", "-d", kSerialText, "-f", path});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos, run.err.find("Birdfile failed validation")) << run.err;
  EXPECT_TRUE(flash().empty());

  run = updater({"-U", "-d", kSerialText, "-f", path, "-OVERRIDE"});
  EXPECT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_EQ(expectedFlash(path, kSerial), flash());
}

TEST_F(UpdateEndToEnd, ModuleThatReportsAnotherSerialIsRefused) {
  startModule(5, [](simmodule::UpgradeSettings& s) { s.reportedSerial = 0x12345678; });
  const std::string path = dir + "/birch.bird";
  ASSERT_TRUE(writeBird(path, 5));
  const RunResult run = updater({"-U", "-d", kSerialText, "-f", path});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos, run.err.find("Birdfile failed validation")) << run.err;
  EXPECT_TRUE(flash().empty());
}

TEST_F(UpdateEndToEnd, ModuleThatIsNotThere) {
  const std::string path = dir + "/birch.bird";
  ASSERT_TRUE(writeBird(path, 5));
  const RunResult run = updater({"-U", "-d", kSerialText, "-f", path});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos, run.err.find("Failed to connect to module [40F5849A]")) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("Update time: ")) << run.out;
}

TEST_F(UpdateEndToEnd, RefusedBeforeConnecting) {
  startModule();
  // A file that cannot be loaded.
  RunResult run = updater({"-U", "-d", kSerialText, "-f", dir + "/missing.bird"});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos, run.err.find("Failed to load bird file")) << run.err;
  // A serial offset block that names no place for the serial number.
  BirdWriter writer;
  writer.addInfo("Kelvarion", "1.0", "00000000", "Birch");
  writer.addSerialOffsets(0, 0);
  writer.addImage(1, kFirmwareBase, code(100, 1));
  const std::string unpatchable = dir + "/unpatchable.bird";
  ASSERT_TRUE(writer.writeFile(unpatchable));
  run = updater({"-U", "-d", kSerialText, "-f", unpatchable, "-X", "1"});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos, run.err.find("Error: Unable to modify serial number in bird.\n"))
      << run.err;
  // Without -X the operator still learns why.
  run = updater({"-U", "-d", kSerialText, "-f", unpatchable});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_EQ("Unable to modify serial number in bird file\n", run.err);
  // A routing module without a module address.
  const std::string path = dir + "/birch.bird";
  ASSERT_TRUE(writeBird(path, 2));
  run = updater({"-U", "-r", "1234ABCD", "-d", kSerialText, "-f", path});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos,
            run.err.find("Module address required for indirect firmware update"))
      << run.err;
  EXPECT_TRUE(flash().empty());
  EXPECT_EQ(std::string::npos, run.out.find("Update time")) << run.out;
}

TEST_F(UpdateEndToEnd, WrongAcceptedCountIsResentAndTheUpdateSucceeds) {
  startModule(5, [](simmodule::UpgradeSettings& s) {
    s.faults.wrongCountAt = 5;
    s.faults.wrongCountRepeats = 3;
  });
  const std::string path = dir + "/birch.bird";
  ASSERT_TRUE(writeBird(path, 6));
  const RunResult run = updater({"-U", "-d", kSerialText, "-f", path});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_EQ(expectedFlash(path, kSerial), flash());
}

// LOAD restarts the module into its loader: the link drops and the module is
// found again over TCP/IP, by the loader start's own reconnection or, when
// the module stays away longer than that, by the workflow's rediscovery.
TEST_F(UpdateEndToEnd, ModuleThatRestartsIntoItsLoaderIsFoundAgain) {
  for (uint32_t offlineMs : {300u, 4000u}) {
    startModule(5, [&](simmodule::UpgradeSettings& s) {
      s.faults.dropOnLoad = true;
      s.faults.rebootDelayMs = offlineMs;
    });
    const std::string path = dir + "/birch.bird";
    ASSERT_TRUE(writeBird(path, 9));
    const RunResult run = updater({"-U", "-d", kSerialText, "-f", path});
    ASSERT_EQ(0, run.exitCode) << offlineMs << run.out << run.err;
    EXPECT_EQ(expectedFlash(path, kSerial), flash()) << offlineMs;
    EXPECT_EQ(1u, reboots()) << offlineMs;
    discovery->stop();
    simulator->stop();
  }
}

// A download that fails must not be followed by an update with an older
// stored build: -G -U reports the failure and exits 1.
TEST_F(UpdateEndToEnd, GetThenUpdateStopsWhenTheDownloadFails) {
  for (const char* fault : {"bad-base64:bird", "http-500:bird"}) {
    startServer({fault});
    startModule();
    const std::string device = store + "/" + kSerialText;
    mkdir((home + "/.mirovane").c_str(), 0755);
    mkdir(store.c_str(), 0755);
    mkdir(device.c_str(), 0755);
    ASSERT_TRUE(writeBird(device + "/100.bird", 100));
    writeText(device + "/.settings", "LATEST_DOWNLOAD=100.bird\n");
    const RunResult run = updater({"-G", "-U", "-d", kSerialText});
    EXPECT_EQ(1, run.exitCode) << fault << run.out << run.err;
    EXPECT_NE(std::string::npos, run.err.find("Not updating: the build could not be downloaded"))
        << fault << run.err;
    EXPECT_EQ(std::string::npos, run.out.find("Updating with the Latest Download")) << run.out;
    EXPECT_TRUE(flash().empty()) << fault;
    EXPECT_EQ(0u, reboots()) << fault;
    EXPECT_EQ("100.bird", deviceAttributes()["LATEST_DOWNLOAD"]) << fault;
    discovery->stop();
    simulator->stop();
    server.stop();
  }
}

// Through a routing module: the workflow reaches the module at its address
// behind the router (something the command line cannot ask for). The module
// restarts without taking the router's link down, so the wait for the link
// to drop after REBOOT ends by its bound.
TEST_F(UpdateEndToEnd, UpdateThroughARoutingModule) {
  startModule(4);  // the router, an "Alder"
  simmodule::ModuleConfig behind;
  behind.serialNumber = 0x0000ABCD;
  behind.model = 5;
  behind.address = 6;
  behind.firmwareVersion = 0x10000064;
  behind.build = 100;
  simulator->withLock([&] { simulator->addModule(behind); });
  const std::string path = dir + "/birch.bird";
  ASSERT_TRUE(writeBird(path, 10));

  RecordingDisplay display;
  UpdaterApp app("http://127.0.0.1:9/cgi/u", store, &display);
  EXPECT_TRUE(app.updateDevice(0x0000ABCD, 0, path, 6, kSerial, false)) << display.out << display.err;
  std::map<uint32_t, Bytes> flashed;
  simmodule::inspectUpgrade(*simulator, [&](simmodule::UpgradeState& s) {
    flashed = s.loader.flash();
    EXPECT_EQ(1u, s.reboots);
  }, 6);
  EXPECT_EQ(expectedFlash(path, 0x0000ABCD), flashed);
  EXPECT_TRUE(flash().empty());  // nothing went to the router itself
  EXPECT_EQ(path, readAttributes(store + "/0000ABCD/.settings")["LATEST_TRANSFER"]);

  // A router that is not there.
  EXPECT_FALSE(app.updateDevice(0x0000ABCD, 0, path, 6, 0x11111111, false));
  EXPECT_NE(std::string::npos, display.err.find("Failed to connect to link module [11111111]"))
      << display.err;
}

// A module that answers nothing when its serial number and model are read:
// the refusal names the read that failed, not only the file.
TEST_F(UpdateEndToEnd, SilentModuleIsNamedAsTheCauseOfTheRefusal) {
  startModule();
  const std::string path = dir + "/birch.bird";
  ASSERT_TRUE(writeBird(path, 11));
  BirdFile file(path);
  linkSpec spec{};
  spec.type = LINKTYPE_TCPIP;
  spec.serialNumber = kSerial;
  spec.ipAddress = htonl(INADDR_LOOPBACK);
  spec.ipPort = simulator->tcpPort();
  Mirovane::Kelvarion::Module module(2);
  ASSERT_EQ(aErrNone, module.connectFromSpec(spec));
  simulator->setSilent(true);
  RecordingDisplay display;
  EXPECT_FALSE(UpdateFirmware(&display, file, module, kSerial));
  EXPECT_NE(std::string::npos, display.err.find("Could not read the serial number of module [40F5849A]: aErr"))
      << display.err;
  module.disconnect();
}

// Each injected loader fault ends the run with exit 1, no reboot and no record.
struct FaultCase {
  const char* name;
  std::function<void(simmodule::UpgradeSettings&)> change;
};

class UpdateFaults : public UpdateEndToEnd, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(UpdateFaults, FailsWithoutRebootOrRecord) {
  startModule(5, GetParam().change);
  const std::string path = dir + "/birch.bird";
  ASSERT_TRUE(writeBird(path, 8));
  const RunResult run = updater({"-U", "-d", kSerialText, "-f", path});
  expectFailedUpdate(run);
}

INSTANTIATE_TEST_SUITE_P(
    Loader, UpdateFaults,
    ::testing::Values(
        FaultCase{"SumOneOff", [](simmodule::UpgradeSettings& s) { s.faults.sumOffAt = 3; }},
        FaultCase{"PrepareErrorStatus",
                  [](simmodule::UpgradeSettings& s) {
                    s.faults.prepareStatus = 4;
                    s.faults.prepareErrorAt = 1;  // the first firmware block
                  }},
        FaultCase{"WriteErrorStatus", [](simmodule::UpgradeSettings& s) { s.faults.writeStatus = 6; }},
        FaultCase{"SilentLoader",
                  [](simmodule::UpgradeSettings& s) { s.faults.silentOptions = 1u << 0; }},
        FaultCase{"SilentDuringData",
                  [](simmodule::UpgradeSettings& s) { s.faults.silentOptions = 1u << 1; }},
        FaultCase{"LinkDroppedMidTransfer",
                  [](simmodule::UpgradeSettings& s) { s.faults.dropAtData = 30; }},
        FaultCase{"BlockSizeZero", [](simmodule::UpgradeSettings& s) { s.faults.blockSize = 0; }},
        FaultCase{"CountNeverMatches",
                  [](simmodule::UpgradeSettings& s) {
                    s.faults.wrongCountAt = 12;
                    s.faults.wrongCountRepeats = -1;
                  }}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

}  // namespace
