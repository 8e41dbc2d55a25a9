// The simsdp executable driven by the serial download client.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "TestFiles.h"
#include "SdpTestSupport.h"
#include "ChildProcess.h"
#include "SDPClient.h"
#include "Serial_SDPLoader.h"

namespace {

// Polls until the file holds text containing what, at most timeoutSeconds.
bool waitForText(const std::string& path, const std::string& what, double timeoutSeconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
  while (std::chrono::steady_clock::now() < end) {
    if (testfiles::readText(path).find(what) != std::string::npos)
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

TEST(SimsdpProgram, HelpListsEveryOptionAndBadOptionsAreRefused) {
  RunResult help = runProgram({SIMSDP_EXE, "--help"}, {}, 30);
  EXPECT_EQ(help.exitCode, 0);
  for (const char* option : {"--path-file", "--ram-base", "--ram-size", "--hab-mode", "--error-status", "--image-out",
                             "--record", "--exit-after-jump", "--no-ack", "--silent", "--unsolicited",
                             "--completion-status", "--stall-after-write"})
    EXPECT_NE(help.out.find(option), std::string::npos) << option;

  RunResult unknown = runProgram({SIMSDP_EXE, "--frobnicate"}, {}, 30);
  EXPECT_EQ(unknown.exitCode, 1);
  EXPECT_NE(unknown.err.find("--frobnicate"), std::string::npos);
  RunResult badNumber = runProgram({SIMSDP_EXE, "--ram-size", "lots"}, {}, 30);
  EXPECT_EQ(badNumber.exitCode, 1);
  EXPECT_NE(badNumber.err.find("lots"), std::string::npos);
  RunResult tooBig = runProgram({SIMSDP_EXE, "--ram-base", "0xFFFFFF00", "--ram-size", "0x1000"}, {}, 30);
  EXPECT_EQ(tooBig.exitCode, 1);
  EXPECT_FALSE(tooBig.err.empty());
}

TEST(SimsdpProgram, RecordsWritesAndJumpAndSavesTheRam) {
  TempDir dir;
  BackgroundProgram program;
  ASSERT_TRUE(program.start({SIMSDP_EXE, "--path-file", dir.file("path"), "--record", dir.file("record"),
                             "--image-out", dir.file("ram.bin"), "--ram-size", "0x10000"},
                            dir.file("log")));
  ASSERT_TRUE(waitForText(dir.file("path"), "\n", 60)) << testfiles::readText(dir.file("log"));
  std::string path = testfiles::readText(dir.file("path"));
  path.pop_back();
  EXPECT_NE(testfiles::readText(dir.file("log")).find(path), std::string::npos);

  std::vector<uint8_t> first = sdptest::pattern(2000, 51), second = sdptest::pattern(100, 52);
  {
    SDPClient client;
    auto loader = std::make_unique<Serial_SDPLoader>(path);
    loader->setByteWait(400);
    ASSERT_TRUE(client.setLoader(std::move(loader)));
    ASSERT_TRUE(client.open());
    EXPECT_EQ(client.writeFile(first, 0x20000010), SDPClient::kWriteOk);
    EXPECT_EQ(client.writeFile(second, 0x2000F000), SDPClient::kWriteOk);
    client.jumpAddress(0x20000010);
  }
  ASSERT_TRUE(waitForText(dir.file("record"), "jump", 60));
  program.stop();
  EXPECT_EQ(testfiles::readText(dir.file("record")),
            "write 0x20000010 2000\nwrite 0x2000F000 100\njump 0x20000010\n");
  std::vector<uint8_t> ram = testfiles::readBytes(dir.file("ram.bin"));
  ASSERT_EQ(ram.size(), 0x10000u);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), ram.begin() + 0x10));
  EXPECT_TRUE(std::equal(second.begin(), second.end(), ram.begin() + 0xF000));
}

}  // namespace
