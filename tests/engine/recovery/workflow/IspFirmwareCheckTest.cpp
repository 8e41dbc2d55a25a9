// Which BIRD files the ISP recovery refuses before it touches the device:
// every firmware block before the end block must go through the loader's RAM
// buffer into flash in whole copy lengths, without overlapping the next.
#include <gtest/gtest.h>

#include <string>

#include "BirdFile.h"
#include "BirdWriter.h"
#include "recovery/RecoverySteps.h"

namespace {

struct Block {
  uint32_t address;
  size_t size;
};

bool check(const std::vector<Block>& blocks, std::string* cause, bool endBlockFirst = false) {
  BirdWriter writer;
  writer.addInfo("Kelvarion", "1.0", "00000000", "Birch");
  if (endBlockFirst) writer.addImage(1, 0, Bytes(4, 0));
  // Varied bytes: a file inflates to a bounded multiple of its size.
  for (const Block& block : blocks) {
    Bytes code(block.size);
    uint32_t seed = block.address;
    for (uint8_t& b : code) b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
    writer.addImage(1, block.address, code);
  }
  writer.addImage(1, 0, Bytes(4, 0));
  const Bytes bytes = writer.fileBytes();
  BirdFile file("check.bird", bytes.data(), bytes.size());
  return recovery::checkIspFirmware(file, cause);
}

TEST(IspFirmwareCheck, AcceptsBlocksThatFitTheFlashInWholeCopies) {
  std::string cause;
  // 5000 bytes end with a 904-byte chunk copied as 1024: the next block may
  // start right after that copy.
  EXPECT_TRUE(check({{0x0, 5000}, {0x1400, 256}, {0x10000, 32768}, {0x78000, 32768}}, &cause))
      << cause;
  EXPECT_TRUE(check({{0x0, 0}}, &cause)) << cause;
  // In any order.
  EXPECT_TRUE(check({{0x10000, 4096}, {0x0, 4096}}, &cause)) << cause;
}

TEST(IspFirmwareCheck, RefusesWhatTheLoaderCannotTake) {
  std::string cause;
  EXPECT_FALSE(check({{0x0, 4096}, {0x2000, 1002}}, &cause));
  EXPECT_EQ("Firmware block 2 holds 1002 bytes, not a multiple of 4", cause);
  EXPECT_FALSE(check({{0x80, 256}}, &cause));
  EXPECT_EQ("Firmware block 1 starts at 0x00000080, not on a 256-byte boundary", cause);
  // The last copy of 4 bytes writes 256: past the end of the flash.
  EXPECT_FALSE(check({{0x7FF00, 260}}, &cause));
  EXPECT_EQ("Firmware block 1 at 0x0007FF00 does not fit in the flash", cause);
  EXPECT_FALSE(check({{0xFFFFFF00, 256}}, &cause));
  EXPECT_FALSE(check({{0x0, 5000}, {0x1300, 256}}, &cause));
  EXPECT_EQ("Firmware blocks 1 and 2 overlap in flash", cause);
  EXPECT_FALSE(check({{0x2000, 256}, {0x0, 8196}}, &cause));
  EXPECT_EQ("Firmware blocks 2 and 1 overlap in flash", cause);
}

TEST(IspFirmwareCheck, RefusesAFileWithoutFirmware) {
  BirdWriter writer;
  writer.addInfo("Kelvarion", "1.0", "00000000", "Birch");
  writer.addImage(0, 0x20000000, Bytes{1, 2, 3, 4});
  const Bytes bytes = writer.fileBytes();
  BirdFile file("loader.bird", bytes.data(), bytes.size());
  std::string cause;
  EXPECT_FALSE(recovery::checkIspFirmware(file, &cause));
  EXPECT_EQ("The BIRD file holds no firmware blocks", cause);
}

TEST(IspFirmwareCheck, BlocksAfterTheEndBlockAreNotLookedAt) {
  std::string cause;
  EXPECT_TRUE(check({{0x80, 5001}}, &cause, true)) << cause;
}

}  // namespace
