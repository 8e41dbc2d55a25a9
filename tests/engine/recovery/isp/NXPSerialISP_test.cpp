// The ISP client against the simulated boot loader on a pseudo-terminal.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "IspProgramming.h"
#include "IspSimulator.h"
#include "UpdaterDisplay.h"
#include "recovery/isp/NXPSerialISP.h"

namespace {

const uint32_t kRam = 0x10001000;
const uint32_t kBaud = 230400;

std::unique_ptr<IspSimulator> startSimulator(const IspSimOptions& options = IspSimOptions()) {
  std::unique_ptr<IspSimulator> sim(new IspSimulator(options));
  std::string error;
  EXPECT_TRUE(sim->start(&error)) << error;
  return sim;
}

// Open, synchronised and unlocked, with the echo as asked.
void ready(NXPSerialISP& isp, IspSimulator& sim, bool echo) {
  ASSERT_EQ(aErrNone, isp.open(sim.portPath().c_str(), kBaud));
  ASSERT_EQ(aErrNone, isp.sync());
  ASSERT_EQ(aErrNone, isp.unlock());
  if (!echo) {
    ASSERT_EQ(aErrNone, isp.setEcho(false));
  }
  EXPECT_EQ(echo, isp.echo());
}

std::vector<std::string> checksums(const std::vector<std::string>& lines) {
  std::vector<std::string> sums;
  for (const std::string& line : lines) {
    if (!line.empty() && line[0] >= '0' && line[0] <= '9')
      sums.push_back(line);
  }
  return sums;
}

}  // namespace

TEST(NXPSerialISPOnSimulator, WritesLinesAndChecksumsWithEchoOnAndOff) {
  for (bool echo : {true, false}) {
    SCOPED_TRACE(echo ? "echo on" : "echo off");
    std::unique_ptr<IspSimulator> sim = startSimulator();
    NXPSerialISP isp;
    ready(isp, *sim, echo);
    std::vector<uint8_t> data = ispTestImage(904, 7);

    ASSERT_EQ(aErrNone, isp.Write(kRam, 4, data.data()));
    std::vector<std::string> lines = sim->dataLines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ('$', lines[0][0]);
    EXPECT_EQ(std::to_string(ispChecksum(data.data(), 4)), lines[1]);

    ASSERT_EQ(aErrNone, isp.Write(kRam, 900, data.data()));
    lines = sim->dataLines();
    ASSERT_EQ(2u + 21u, lines.size());
    for (size_t i = 2; i < 22; ++i)
      EXPECT_EQ(61u, lines[i].size()) << i;
    EXPECT_EQ(std::to_string(ispChecksum(data.data(), 900)), lines[22]);

    ASSERT_EQ(aErrNone, isp.Write(kRam, 904, data.data()));
    lines = sim->dataLines();
    ASSERT_EQ(23u + 23u, lines.size());
    EXPECT_EQ(std::to_string(ispChecksum(data.data(), 900)), lines[43]);
    EXPECT_EQ('$', lines[44][0]);
    EXPECT_EQ(std::to_string(ispChecksum(data.data() + 900, 4)), lines[45]);
    EXPECT_EQ(4u, checksums(lines).size());  // 1 + 1 + 2
  }
}

TEST(NXPSerialISPOnSimulator, TwoResendsAreToleratedAThirdIsFatal) {
  IspSimOptions options;
  options.resends = 2;
  std::unique_ptr<IspSimulator> sim = startSimulator(options);
  NXPSerialISP isp;
  ready(isp, *sim, false);
  std::vector<uint8_t> data = ispTestImage(904, 3);
  ASSERT_EQ(aErrNone, isp.Write(kRam, 904, data.data()));
  // The first block went three times; the second once.
  EXPECT_EQ(3u * 21u + 2u, sim->dataLines().size());

  options.resends = 3;
  std::unique_ptr<IspSimulator> stubborn = startSimulator(options);
  NXPSerialISP other;
  ready(other, *stubborn, false);
  EXPECT_EQ(aErrTimeout, other.Write(kRam, 904, data.data()));
  EXPECT_EQ(3u * 21u, stubborn->dataLines().size());
}

TEST(NXPSerialISPOnSimulator, StatusIsJudgedAsAWholeNumberWithEchoOnAndOff) {
  IspSimOptions options;
  options.statusFor['P'] = 10;  // COMPARE_ERROR: its first digit alone would read as success
  options.statusFor['E'] = 1;
  std::unique_ptr<IspSimulator> sim = startSimulator(options);
  NXPSerialISP isp;
  ready(isp, *sim, true);
  EXPECT_EQ(aErrParam, isp.prepareSectors(0, 1));
  EXPECT_EQ(aErrParam, isp.eraseSectors(0, 1));
  ASSERT_EQ(aErrNone, isp.setEcho(false));
  EXPECT_EQ(aErrParam, isp.prepareSectors(0, 1));
  EXPECT_EQ(aErrParam, isp.eraseSectors(0, 1));
  EXPECT_EQ(aErrNone, isp.unlock());
  // A refused A leaves the echo flag as it was.
  options.statusFor.clear();
  options.statusFor['A'] = 12;
  std::unique_ptr<IspSimulator> refusing = startSimulator(options);
  NXPSerialISP other;
  ready(other, *refusing, true);
  EXPECT_EQ(aErrParam, other.setEcho(false));
  EXPECT_TRUE(other.echo());
}

TEST(NXPSerialISPOnSimulator, RefusedCommandsWrongEchoAndSlowEraseAreSurvived) {
  IspSimOptions options;
  options.refusals = 2;
  options.wrongEcho = true;
  options.eraseMs = 2500;
  std::unique_ptr<IspSimulator> sim = startSimulator(options);
  NXPSerialISP isp;
  ASSERT_EQ(aErrNone, isp.open(sim->portPath().c_str(), kBaud));
  ASSERT_EQ(aErrNone, isp.sync());
  EXPECT_EQ(aErrParam, isp.unlock());
  EXPECT_EQ(aErrParam, isp.unlock());
  EXPECT_EQ(aErrNone, isp.unlock());  // the echo is wrong, the status right
  ASSERT_EQ(aErrNone, isp.prepareSectors(0, 29));
  EXPECT_EQ(aErrNone, isp.eraseSectors(0, 29));
}

TEST(NXPSerialISPOnSimulator, SilentLoaderAndMissingPortFail) {
  IspSimOptions options;
  options.silent = true;
  std::unique_ptr<IspSimulator> sim = startSimulator(options);
  NXPSerialISP isp;
  ASSERT_EQ(aErrNone, isp.open(sim->portPath().c_str(), 115200));
  EXPECT_EQ(aErrTimeout, isp.sync());
  EXPECT_EQ(aErrTimeout, isp.readSerialNumber());

  NXPSerialISP nowhere;
  EXPECT_NE(aErrNone, nowhere.open("/dev/no-such-isp-port", 115200));
  EXPECT_FALSE(nowhere.isOpen());
  EXPECT_EQ(aErrIO, nowhere.sync());
}

TEST(NXPSerialISPOnSimulator, ProgramsAnImageAndStartsIt) {
  IspSimOptions options;
  std::unique_ptr<IspSimulator> sim = startSimulator(options);
  // Across the 4 KB sectors into the first 32 KB one, ending in a part page.
  std::vector<uint8_t> image = ispTestImage(0x10000 + 4096 + 100, 11);
  NXPSerialISP isp;
  ASSERT_EQ(aErrNone, isp.open(sim->portPath().c_str(), kBaud));
  ASSERT_EQ(aErrNone, isp.sync());
  ASSERT_EQ(aErrNone, isp.readSerialNumber());
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(options.serial[i], isp.serialNumber()[i]);
  isp.close();

  // Programming starts from a loader fresh out of reset.
  std::string step;
  NXPSerialISP programmer;
  std::unique_ptr<IspSimulator> fresh = startSimulator(options);
  ASSERT_EQ(aErrNone, ispProgramImage(programmer, fresh->portPath(), kBaud, image, &step)) << step;
  std::vector<uint8_t> flash = fresh->flash();
  ASSERT_EQ(512u * 1024u, flash.size());
  std::vector<uint8_t> expected(flash.size(), 0xFF);
  std::copy(image.begin(), image.end(), expected.begin());
  EXPECT_TRUE(flash == expected);
  EXPECT_TRUE(fresh->waitUntilStarted(10000));
  EXPECT_EQ(0u, fresh->startAddress());
  EXPECT_EQ("G 0 T", fresh->commands().back());
}

TEST(NXPSerialISPOnSimulator, WireTimeEmulationAtTheLineRate) {
  IspSimOptions options;
  options.wireTime = true;
  std::unique_ptr<IspSimulator> sim = startSimulator(options);
  NXPSerialISP isp;
  ready(isp, *sim, true);
  std::vector<uint8_t> data = ispTestImage(900, 5);
  EXPECT_EQ(aErrNone, isp.Write(kRam, 900, data.data()));
  EXPECT_EQ(21u, sim->dataLines().size());
}

TEST(NXPSerialISPOnSimulator, DiagnosticsOnEveryChannel) {
  FILE* log = tmpfile();
  ASSERT_NE(nullptr, log);
  setDebugStream(log);
  addDebugChannels(DEBUG_NXPSerial | DEBUG_NXPSerial_E | DEBUG_NXPSerial_SR);
  IspSimOptions options;
  options.resends = 1;
  std::unique_ptr<IspSimulator> sim = startSimulator(options);
  NXPSerialISP isp;
  ready(isp, *sim, true);
  std::vector<uint8_t> data = ispTestImage(256, 1);
  EXPECT_EQ(aErrNone, isp.Write(kRam, 256, data.data()));
  EXPECT_EQ(5000u, isp.copyLength(5000));
  EXPECT_EQ(aErrParam, isp.copyRamToFlash(0, kRam, 256));  // not prepared
  setDebugStream(nullptr);

  std::string text;
  rewind(log);
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, log)) > 0)
    text.append(buffer, got);
  fclose(log);
  for (const char* line :
       {"Creating serial connection: [", "] stream baud:7(230400)\n", "Sending:[3F] [?]\n",
        "Response() wait for serial [14 bytes, 230400, 21 ms]\n", "GetEcho([55 20 32 33 31 33 30 0D 0A] 8, ...)\n",
        "recv Echo:[ 55 20 32", "GetLine() Received: [30 0D 0A] [0\\r\\n] 3 term [aErrNone]\n",
        "Write() Checksum: ", "Write() valid transfer of 256 of 256 (100%) bytes\n",
        "Copy length is too large. 5000 > 4096.\n",
        "Error response ==>[SECTOR_NOT_PREPARED_FOR_WRITE_OPERATION]\n"})
    EXPECT_NE(std::string::npos, text.find(line)) << line;
}
