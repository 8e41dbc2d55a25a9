// The simulated serial download boot loader checked by an independent client:
// imx_uart (Debian package imx-usb-loader) loads, verifies and starts a file
// through it on a pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <future>
#include <filesystem>
#include <sstream>

#include "TestFiles.h"
#include "ChildProcess.h"
#include "SdpPtySimulator.h"
#include "SdpTestSupport.h"

namespace {

std::string findProgram(const std::string& name) {
  const char* path = getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    std::filesystem::path candidate = std::filesystem::path(dir.empty() ? "." : dir) / name;
    std::error_code ec;
    if (std::filesystem::is_regular_file(candidate, ec))
      return candidate.string();
  }
  return std::string();
}

TEST(ImxUart, LoadsVerifiesAndStartsAFileThroughTheSimulator) {
  std::string imxUart = findProgram("imx_uart");
  if (imxUart.empty())
    GTEST_SKIP() << "imx_uart not found (Debian package imx-usb-loader): the simulator is not checked against it";

  simsdp::SdpPtySimulator simulator;
  std::promise<uint32_t> jump;
  simulator.device().onJump = [&](uint32_t address) { jump.set_value(address); };
  ASSERT_TRUE(simulator.start());
  TempDir dir;
  std::vector<uint8_t> payload = sdptest::pattern(3000, 41);
  testfiles::writeBytes(dir.file("payload.bin"), payload);
  // Our RAM region; the file goes to 0x20001000 and is started there.
  testfiles::writeText(dir.file("simsdp.conf"), "simsdp\n"
                                                "hid,1024,0x20000000,0x20000000,0x400000\n" +
                                                    dir.file("payload.bin") + ":load 0x20001000,jump 0x20001000\n");

  // After the jump imx_uart goes on reading the line, so it runs in the
  // background until the jump has arrived and the line is gone.
  BackgroundProgram program;
  ASSERT_TRUE(program.start({imxUart, "--verify", "--no-rtscts", simulator.slavePath(), dir.file("simsdp.conf")},
                            dir.file("imx_uart.log")));
  std::future<uint32_t> jumped = jump.get_future();
  bool arrived = jumped.wait_for(std::chrono::seconds(120)) == std::future_status::ready;
  simulator.stop();
  program.stop();
  ASSERT_TRUE(arrived) << testfiles::readText(dir.file("imx_uart.log"));

  // One file written: the payload at its address, followed by the start
  // header imx_uart builds; imx_uart read all of it back to verify it, and
  // the jump lands on the header.
  std::vector<simsdp::WrittenBlock> blocks = simulator.device().blocks();
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].address, 0x20001000u);
  ASSERT_GE(blocks[0].bytes.size(), payload.size());
  EXPECT_TRUE(std::equal(payload.begin(), payload.end(), blocks[0].bytes.begin()));
  EXPECT_GE(simulator.device().bytesReadBack(), blocks[0].bytes.size());
  uint32_t address = jumped.get();
  EXPECT_GE(address, 0x20001000u + payload.size());
  EXPECT_LT(address, 0x20001000u + blocks[0].bytes.size());
}

TEST(ImxUart, RefusesALoaderThatNeverCompletesTheWrite) {
  std::string imxUart = findProgram("imx_uart");
  if (imxUart.empty())
    GTEST_SKIP() << "imx_uart not found (Debian package imx-usb-loader): the simulator is not checked against it";

  simsdp::DeviceConfig config;
  config.faults.wrongCompletion = true;
  simsdp::SdpPtySimulator simulator(config);
  ASSERT_TRUE(simulator.start());
  TempDir dir;
  testfiles::writeBytes(dir.file("payload.bin"), sdptest::pattern(2048, 42));
  testfiles::writeText(dir.file("simsdp.conf"),
                       "simsdp\nhid,1024,0x20000000,0x20000000,0x400000\npayload.bin:load 0x20001000\n");
  RunResult run = runProgram({imxUart, "--no-rtscts", simulator.slavePath(), "simsdp.conf"}, {}, 120, dir.path());
  simulator.stop();
  ASSERT_FALSE(run.timedOut);
  // imx_uart reports the failure in its output (its exit code stays 0).
  EXPECT_NE((run.out + run.err).find("failed"), std::string::npos) << run.out << run.err;
}

}  // namespace
