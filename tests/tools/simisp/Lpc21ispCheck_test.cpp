// The simulated boot loader against an independent client, lpc21isp: it must
// recognise the part, and program and verify an image through it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "IspSimulator.h"
#include "TempDir.h"

namespace {

const char* const kClient = "/usr/bin/lpc21isp";

std::vector<uint8_t> image(size_t size) {
  std::vector<uint8_t> bytes(size);
  uint32_t x = 0x9E3779B9u;
  for (uint8_t& b : bytes) {
    x = x * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(x >> 24);
  }
  return bytes;
}

class Lpc21ispCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(kClient, X_OK) != 0)
      GTEST_SKIP() << "lpc21isp is not installed (package lpc21isp): the simulator is not checked against it";
    dir = temp.path();
    std::string error;
    ASSERT_TRUE(sim.start(&error)) << error;
  }
  void TearDown() override {
    sim.stop();
  }
  RunResult client(const std::vector<std::string>& options, const std::string& file) {
    std::vector<std::string> argv = {kClient};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(), {file, sim.portPath(), "115200", "14746"});
    return runProgram(argv, {}, 120);
  }
  TempDir temp{"simisp-lpc21isp"};
  std::string dir;
  IspSimulator sim{IspSimOptions()};
};

}  // namespace

TEST_F(Lpc21ispCheck, DetectsThePart) {
  std::string file = dir + "/none.bin";
  FILE* f = fopen(file.c_str(), "wb");
  ASSERT_TRUE(f);
  fclose(f);
  RunResult run = client({"-bin", "-detectonly"}, file);
  EXPECT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_NE(std::string::npos, run.out.find("LPC1768")) << run.out;
  EXPECT_NE(std::string::npos, run.out.find("512 kiB FLASH")) << run.out;
}

TEST_F(Lpc21ispCheck, ProgramsAndVerifiesAnImage) {
  std::vector<uint8_t> bytes = image(0x10000 + 6000);  // into the 32 KB sectors, ends mid-page
  std::string file = dir + "/image.bin";
  FILE* f = fopen(file.c_str(), "wb");
  ASSERT_TRUE(f);
  ASSERT_EQ(bytes.size(), fwrite(bytes.data(), 1, bytes.size(), f));
  fclose(f);
  RunResult run = client({"-bin", "-verify", "-donotstart"}, file);
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_NE(std::string::npos, run.out.find("Verified correct")) << run.out;

  // The client writes the vector-table checksum into word 7 of the image.
  std::vector<uint8_t> flash = sim.flash();
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i >= 0x1C && i < 0x20)
      continue;
    ASSERT_EQ(bytes[i], flash[i]) << "at " << i;
  }
  uint32_t sum = 0;
  for (size_t i = 0; i < 0x20; i += 4)
    sum += static_cast<uint32_t>(flash[i]) | static_cast<uint32_t>(flash[i + 1]) << 8 |
           static_cast<uint32_t>(flash[i + 2]) << 16 | static_cast<uint32_t>(flash[i + 3]) << 24;
  EXPECT_EQ(0u, sum);
}
