// The simisp executable as scripts and end-to-end tests use it: its options,
// the terminal's path in a file, the flash saved when it is stopped.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "IspProgramming.h"
#include "TempDir.h"
#include "recovery/isp/NXPSerialISP.h"

namespace {

// Waits (bounded) until path holds something.
std::string waitForFile(const std::string& path) {
  for (int i = 0; i < 1000; ++i) {
    std::string text = readFile(path);
    if (!text.empty())
      return text;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return std::string();
}

}  // namespace

TEST(SimispProgram, HelpAndBadOptions) {
  RunResult help = runProgram({SIMISP_EXE, "--help"}, {}, 30);
  EXPECT_EQ(0, help.exitCode);
  for (const char* option : {"--flash", "--load", "--port-file", "--serial", "--part-id", "--boot-code", "--wire-time",
                             "--baud", "--silent", "--status", "--resend", "--refuse", "--wrong-echo", "--erase-ms"})
    EXPECT_NE(std::string::npos, help.out.find(option)) << option;
  EXPECT_NE(std::string::npos, help.out.find("default"));

  for (std::vector<std::string> argv : std::vector<std::vector<std::string>>{
           {SIMISP_EXE, "--bogus"}, {SIMISP_EXE, "--resend"}, {SIMISP_EXE, "--resend", "x"},
           {SIMISP_EXE, "--serial", "1,2,3"}, {SIMISP_EXE, "--status", "P10"}, {SIMISP_EXE, "/dev/ttyS0"}}) {
    RunResult bad = runProgram(argv, {}, 30);
    EXPECT_EQ(2, bad.exitCode) << argv[1];
    EXPECT_NE(std::string::npos, bad.err.find("simisp: ")) << argv[1];
  }
  TempDir temp("simisp-load");
  const std::string dir = temp.path();
  RunResult missing = runProgram({SIMISP_EXE, "--load", dir + "/none.bin"}, {}, 30);
  EXPECT_EQ(1, missing.exitCode);
  EXPECT_NE(std::string::npos, missing.err.find("cannot read")) << missing.err;
}

TEST(SimispProgram, ServesOnItsTerminalAndSavesTheFlashWhenStopped) {
  TempDir temp("simisp-run");
  const std::string dir = temp.path();
  std::string portFile = dir + "/port", flashFile = dir + "/flash.bin";
  std::vector<uint8_t> preset(300, 0x5A);
  FILE* f = fopen((dir + "/preset.bin").c_str(), "wb");
  ASSERT_TRUE(f);
  fwrite(preset.data(), 1, preset.size(), f);
  fclose(f);

  BackgroundProgram sim;
  ASSERT_TRUE(sim.start({SIMISP_EXE, "--port-file", portFile, "--flash", flashFile, "--load", dir + "/preset.bin",
                         "--serial", "1,0x2,3,4"},
                        dir + "/simisp.log"));
  std::string port = waitForFile(portFile);
  ASSERT_FALSE(port.empty()) << readFile(dir + "/simisp.log");

  NXPSerialISP isp;
  ASSERT_EQ(aErrNone, isp.open(port.c_str(), 115200));
  ASSERT_EQ(aErrNone, isp.sync());
  ASSERT_EQ(aErrNone, isp.readSerialNumber());
  EXPECT_EQ(2u, isp.serialNumber()[1]);
  EXPECT_EQ(4u, isp.serialNumber()[3]);
  ASSERT_EQ(aErrNone, isp.unlock());
  ASSERT_EQ(aErrNone, isp.prepareSectors(1, 1));
  ASSERT_EQ(aErrNone, isp.eraseSectors(1, 1));
  std::vector<uint8_t> page = ispTestImage(256, 9);
  ASSERT_EQ(aErrNone, isp.Write(0x10001000, 256, page.data()));
  ASSERT_EQ(aErrNone, isp.prepareSectors(1, 1));
  ASSERT_EQ(aErrNone, isp.copyRamToFlash(0x1000, 0x10001000, 256));
  isp.close();
  sim.stop();

  std::string flash = readFile(flashFile);
  ASSERT_EQ(512u * 1024u, flash.size());
  EXPECT_EQ(std::string(preset.begin(), preset.end()), flash.substr(0, 300));
  EXPECT_EQ(std::string(3796, '\xFF'), flash.substr(300, 4096 - 300));
  EXPECT_EQ(std::string(page.begin(), page.end()), flash.substr(0x1000, 256));
  EXPECT_EQ(std::string(0x80000 - 0x1100, '\xFF'), flash.substr(0x1100));
}
