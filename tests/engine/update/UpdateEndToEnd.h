#ifndef TESTS_ENGINE_UPDATE_UPDATEENDTOEND_H
#define TESTS_ENGINE_UPDATE_UPDATEENDTOEND_H
// The -U end-to-end fixture: the real Updater, the reference update server
// and a simulated module found by TCP/IP discovery, inside an isolated network
// namespace; BIRD files for a "Birch" and what its flash must hold after them.
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

constexpr uint32_t kSerial = 0x40F5849A;
constexpr const char* kSerialText = "40F5849A";
constexpr uint32_t kFirmwareBase = 0x08000000;
constexpr uint32_t kSerialOffset = 0x08000100;
constexpr uint32_t kDescriptorOffset = 0x08000200;

inline Bytes code(size_t count, uint32_t seed) {
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
inline bool writeBird(const std::string& path, uint32_t seed, const std::string& model = "Birch",
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
inline std::map<uint32_t, Bytes> expectedFlash(const std::string& path, uint32_t serial) {
  BirdFile file(path);
  if (file.hasSerialBlock()) file.setSerialNumber(serial);
  std::map<uint32_t, Bytes> flash;
  for (const BirdBlock& block : file.blocksOfType(1))
    flash[block.address] = Bytes(block.data + 4, block.data + block.length);
  return flash;
}

inline std::map<std::string, std::string> readAttributes(const std::string& path) {
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

inline bool exists(const std::string& path) {
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

#endif
