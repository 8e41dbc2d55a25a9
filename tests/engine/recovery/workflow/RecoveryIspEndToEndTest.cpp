// -N and -U -t RECOVER against the simulated ISP boot loader on a
// pseudo-terminal: the identifier, the firmware the server names written into
// flash through the RAM buffer and the code started, and the faults that must
// end with their message, exit 1 and the device not started.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <unistd.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "IspSimulator.h"
#include "RecoveryFixture.h"

namespace {

const char* kSerialText = "40F5849A";
const char* kFingerprint = "12345678 9ABCDEF0 0F1E2D3C 4B5A6978";
const char* kIdentifierLine = "[ 12345678 9ABCDEF0 0F1E2D3C 4B5A6978 ]";

// Two firmware blocks: the first crosses a chunk boundary (4096 + 904 bytes),
// the second lies in the large sectors.
BirdLayout firmwareLayout() {
  BirdLayout layout;
  layout.firmware = {{0x00000000, patternBytes(5000, 1)}, {0x00010000, patternBytes(8192, 2)}};
  return layout;
}

std::string catalog(const std::string& fingerprint) {
  return std::string("device ") + kSerialText + "\nfirmware birch\ncurrent 7\nbuild 7 1.0.7\n" +
         "fingerprint " + fingerprint + "\n";
}

class IspRecovery : public RecoveryEndToEnd {
 protected:
  void SetUp() override {
    RecoveryEndToEnd::SetUp();
    mkdir((root + "/birch").c_str(), 0755);
    ASSERT_TRUE(writeRecoveryBird(root + "/birch/7.bird", firmwareLayout()));
  }
  void TearDown() override {
    if (sim) sim->stop();
    RecoveryEndToEnd::TearDown();
  }
  void startSim(IspSimOptions options = IspSimOptions()) {
    if (sim) sim->stop();
    sim = std::make_unique<IspSimulator>(options);
    std::string error;
    ASSERT_TRUE(sim->start(&error)) << error;
  }
  bool sawCommand(char letter) const {
    for (const std::string& c : sim->commands())
      if (!c.empty() && c[0] == letter) return true;
    return false;
  }
  bool flashHolds(const ImageBlock& block) const {
    const std::vector<uint8_t> flash = sim->flash();
    if (block.address + block.code.size() > flash.size()) return false;
    return std::equal(block.code.begin(), block.code.end(), flash.begin() + block.address);
  }
  bool flashBlank() const {
    for (uint8_t b : sim->flash())
      if (b != 0xFF) return false;
    return true;
  }
  // A failed recovery: exit 1 with the cause on the error stream, the code
  // not started.
  void expectFailure(const RunResult& run, const std::string& cause) {
    EXPECT_EQ(1, run.exitCode) << run.out << run.err;
    EXPECT_TRUE(contains(run.err, cause)) << run.err;
    if (sim) {
      EXPECT_FALSE(sim->started());
      EXPECT_FALSE(sawCommand('G'));
    }
  }

  std::unique_ptr<IspSimulator> sim;
};

TEST_F(IspRecovery, FingerprintPrintsTheIdentifierAndLeavesFlashAlone) {
  startSim();
  const RunResult run = updater({"-N", "-s", sim->portPath()});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_TRUE(contains(run.out, kIdentifierLine)) << run.out;
  EXPECT_TRUE(flashBlank());
  for (char letter : {'U', 'P', 'E', 'W', 'C', 'G'}) EXPECT_FALSE(sawCommand(letter)) << letter;
}

TEST_F(IspRecovery, RecoverWritesTheServersBuildThroughRamAndStartsIt) {
  startServer(catalog(kFingerprint));
  startSim();
  const RunResult run = updater({"-U", "-t", "RECOVER", "-s", sim->portPath(), "-d", kSerialText});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  for (const char* line :
       {"Recovering firmware with build: 7", "Transferring firmware block 1 of 2, 5000 bytes",
        "Transferring firmware block 2 of 2, 8192 bytes", "Transferred 2 blocks, 13192 total bytes",
        "Rebooting Device", "Update time: "})
    EXPECT_TRUE(contains(run.out, line)) << line << "\n" << run.out;

  for (const ImageBlock& block : firmwareLayout().firmware) EXPECT_TRUE(flashHolds(block));
  EXPECT_TRUE(sim->waitUntilStarted(10000));
  EXPECT_EQ(0u, sim->startAddress());

  // Unlocked, every sector prepared and erased, then chunks of at most 4096
  // bytes into RAM at 0x10001000 and copied from there.
  const std::vector<std::string> commands = sim->commands();
  auto at = [&](const std::string& c) {
    return std::find(commands.begin(), commands.end(), c) - commands.begin();
  };
  EXPECT_LT(at("U 23130"), at("P 0 29"));
  EXPECT_LT(at("P 0 29"), at("E 0 29"));
  EXPECT_LT(at("E 0 29"), at("W 268439552 4096"));
  EXPECT_NE(commands.end(), std::find(commands.begin(), commands.end(), "C 0 268439552 4096"));
  EXPECT_NE(commands.end(), std::find(commands.begin(), commands.end(), "C 4096 268439552 1024"));
  EXPECT_NE(commands.end(), std::find(commands.begin(), commands.end(), "C 69632 268439552 4096"));
  int writes = 0;
  for (const std::string& c : commands) {
    unsigned address = 0, count = 0;
    if (sscanf(c.c_str(), "W %u %u", &address, &count) == 2) {
      ++writes;
      EXPECT_EQ(0x10001000u, address);
      EXPECT_LE(count, 4096u);
    }
  }
  EXPECT_EQ(4, writes);
  EXPECT_EQ("G 0 T", commands.back());
  // The build came from the server into the device's store entry.
  EXPECT_TRUE(exists(storeEntry(kSerialText) + "/7.bird"));
}

TEST_F(IspRecovery, FingerprintThenRecoveryOnALoaderSynchronisedBefore) {
  // The loader stays synchronised after the fingerprint: the recovery that
  // follows finds it in command mode.
  const std::string path = dir + "/named.bird";
  ASSERT_TRUE(writeRecoveryBird(path, firmwareLayout()));
  startSim();
  RunResult run = updater({"-N", "-s", sim->portPath()});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  run = updater({"-N", "-s", sim->portPath()});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_TRUE(contains(run.out, kIdentifierLine)) << run.out;
  run = updater({"-U", "-t", "RECOVER", "-s", sim->portPath(), "-f", path});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  for (const ImageBlock& block : firmwareLayout().firmware) EXPECT_TRUE(flashHolds(block));
  EXPECT_TRUE(sim->waitUntilStarted(10000));
}

TEST_F(IspRecovery, RecoverWithANamedFileNeedsNoServer) {
  const std::string path = dir + "/named.bird";
  ASSERT_TRUE(writeRecoveryBird(path, firmwareLayout()));
  startSim();
  const RunResult run = updater({"-U", "-t", "RECOVER", "-s", sim->portPath(), "-f", path});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_TRUE(contains(run.out, "Recovering from Birdfile: " + path)) << run.out;
  for (const ImageBlock& block : firmwareLayout().firmware) EXPECT_TRUE(flashHolds(block));
  EXPECT_TRUE(sim->waitUntilStarted(10000));
}

TEST_F(IspRecovery, AFileWhoseFirstFirmwareBlockEndsTheTransferStillStartsTheDevice) {
  BirdLayout layout;
  const std::string path = dir + "/empty.bird";
  ASSERT_TRUE(writeRecoveryBird(path, layout));
  startSim();
  const RunResult run = updater({"-U", "-t", "RECOVER", "-s", sim->portPath(), "-f", path});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_TRUE(contains(run.out, "Transferred 0 blocks, 0 total bytes")) << run.out;
  EXPECT_TRUE(sim->waitUntilStarted(10000));
  EXPECT_FALSE(sawCommand('W'));
}

TEST_F(IspRecovery, MissingBusyOrSilentPortEndsWithoutAnIdentifier) {
  startServer(catalog(kFingerprint));
  RunResult run = updater({"-U", "-t", "RECOVER"});
  expectFailure(run, "Must specify the serial port used for connecting");

  run = updater({"-U", "-t", "RECOVER", "-s", dir + "/no-such-tty"});
  expectFailure(run, "Could not get Device Identifier");
  EXPECT_TRUE(contains(run.err, "could not open the port")) << run.err;

  run = updater({"-N", "-s", dir + "/no-such-tty"});
  expectFailure(run, "Got no response from chip");

  // A port another program holds.
  startSim();
  const int held = open(sim->portPath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(0, flock(held, LOCK_EX | LOCK_NB));
  run = updater({"-U", "-t", "RECOVER", "-s", sim->portPath()});
  close(held);
  expectFailure(run, "could not open the port");
  EXPECT_TRUE(sim->commands().empty());

  IspSimOptions silent;
  silent.silent = true;
  startSim(silent);
  run = updater({"-U", "-t", "RECOVER", "-s", sim->portPath()});
  expectFailure(run, "Could not get Device Identifier");
  EXPECT_TRUE(contains(run.err, "no answer to synchronisation")) << run.err;
  EXPECT_FALSE(exists(storeEntry(kSerialText)));
}

// A peer on a pseudo-terminal that answers whatever it gets with noise.
class GarbagePort {
 public:
  GarbagePort() {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
    path_ = name;
    thread_ = std::thread([this] { run(); });
  }
  ~GarbagePort() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
  }
  const std::string& path() const { return path_; }

 private:
  void run() {
    static const char kNoise[] = "\x01\x7F?Synchron1zed\r\nOK?\x80\xFF" "12\r\n";
    while (!stop_) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      char buffer[256];
      if (read(master_, buffer, sizeof buffer) <= 0) continue;
      (void)!write(master_, kNoise, sizeof kNoise - 1);
    }
  }
  int master_ = -1, slave_ = -1;
  std::string path_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST_F(IspRecovery, ALoaderAnsweringGarbageGivesNoIdentifier) {
  startServer(catalog(kFingerprint));
  GarbagePort port;
  ASSERT_FALSE(port.path().empty());
  const RunResult run = updater({"-U", "-t", "RECOVER", "-s", port.path()});
  expectFailure(run, "Could not get Device Identifier");
  EXPECT_FALSE(exists(storeEntry(kSerialText)));
}

TEST_F(IspRecovery, UnknownFingerprintOrServerDownLeavesTheDeviceAlone) {
  startSim();
  RunResult run = updater({"-U", "-t", "RECOVER", "-s", sim->portPath()});
  expectFailure(run, "Server request failed for");
  EXPECT_TRUE(flashBlank());

  startServer(catalog("1 2 3 4"));
  startSim();
  run = updater({"-U", "-t", "RECOVER", "-s", sim->portPath()});
  expectFailure(run, std::string("The update server knows no firmware for device ") + kIdentifierLine);
  EXPECT_TRUE(flashBlank());
  EXPECT_FALSE(sawCommand('U'));
  EXPECT_FALSE(exists(storeEntry(kSerialText)));
  EXPECT_FALSE(exists(storeEntry("00000000")));
}

TEST_F(IspRecovery, FilesThatCannotBeRecoveredWithAreRefusedBeforeAnythingIsErased) {
  startSim();
  BirdLayout withSerial = firmwareLayout();
  withSerial.serialOffsets = true;
  const std::string serialPath = dir + "/serial.bird";
  ASSERT_TRUE(writeRecoveryBird(serialPath, withSerial));
  RunResult run = updater({"-U", "-t", "RECOVER", "-s", sim->portPath(), "-f", serialPath});
  expectFailure(run, "Updater does not support offline recovery");

  BirdLayout odd;
  odd.firmware = {{0x00000000, patternBytes(5001, 3)}};
  const std::string oddPath = dir + "/odd.bird";
  ASSERT_TRUE(writeRecoveryBird(oddPath, odd));
  run = updater({"-U", "-t", "RECOVER", "-s", sim->portPath(), "-f", oddPath});
  expectFailure(run, "Firmware block 1 holds 5001 bytes, not a multiple of 4");

  BirdLayout outside;
  outside.firmware = {{0x0007F000, patternBytes(8192, 4)}};
  const std::string outsidePath = dir + "/outside.bird";
  ASSERT_TRUE(writeRecoveryBird(outsidePath, outside));
  run = updater({"-U", "-t", "RECOVER", "-s", sim->portPath(), "-f", outsidePath});
  expectFailure(run, "does not fit in the flash");

  EXPECT_TRUE(flashBlank());
  for (char letter : {'U', 'P', 'E', 'W', 'C'}) EXPECT_FALSE(sawCommand(letter)) << letter;
}

TEST_F(IspRecovery, AFailedCopyStopsTheRecoveryWithoutStartingTheCode) {
  IspSimOptions options;
  options.statusFor['C'] = 10;  // COMPARE_ERROR: a two-digit status
  startSim(options);
  const std::string path = dir + "/named.bird";
  ASSERT_TRUE(writeRecoveryBird(path, firmwareLayout()));
  const RunResult run = updater({"-U", "-t", "RECOVER", "-s", sim->portPath(), "-f", path});
  expectFailure(run, "Recovery failed: copy to flash");
  EXPECT_TRUE(contains(run.out, "Update time: ")) << run.out;
}

TEST_F(IspRecovery, AnInterruptedRecoveryCanBeRunAgain) {
  // Long enough after its first copy (seconds) to be stopped in the middle.
  BirdLayout layout;
  layout.firmware = {{0x00000000, patternBytes(5000, 5)}, {0x00010000, patternBytes(65536, 6)}};
  const std::string path = dir + "/long.bird";
  ASSERT_TRUE(writeRecoveryBird(path, layout));
  const std::string flashFile = dir + "/flash.bin";
  IspSimOptions options;
  options.flashFile = flashFile;
  startSim(options);
  {
    BackgroundProgram run;
    ASSERT_TRUE(run.start(updaterCommand({"-U", "-t", "RECOVER", "-s", sim->portPath(), "-f", path}),
                          dir + "/interrupted.log"));
    // Stopped once the first chunk is in flash.
    bool copied = false;
    for (int i = 0; i < 6000 && !copied; ++i) {
      copied = sawCommand('C');
      if (!copied) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(copied);
    run.stop();
  }
  EXPECT_FALSE(sim->started());
  sim->stop();

  // The module is reset with the flash as it was left.
  IspSimOptions again;
  again.loadFile = flashFile;
  startSim(again);
  const RunResult run = updater({"-U", "-t", "RECOVER", "-s", sim->portPath(), "-f", path});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  for (const ImageBlock& block : layout.firmware) EXPECT_TRUE(flashHolds(block));
  EXPECT_TRUE(sim->waitUntilStarted(10000));
}

}  // namespace
