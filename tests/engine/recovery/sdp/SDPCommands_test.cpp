// Layout of the serial download commands and data reports, and the reply
// shapes each transport accepts.
#include <gtest/gtest.h>

#include <numeric>

#include "SDPCommands.h"

namespace {

std::vector<uint8_t> hidReply(uint32_t status) {
  std::vector<uint8_t> reply = {3, 0x56, 0x78, 0x78, 0x56};
  std::vector<uint8_t> report(65, 0);
  report[0] = 4;
  for (int i = 0; i < 4; ++i) report[1 + i] = static_cast<uint8_t>(status >> (8 * i));
  reply.insert(reply.end(), report.begin(), report.end());
  return reply;
}

TEST(SdpCommands, WriteFileCommandLayout) {
  std::vector<uint8_t> expected = {0x01, 0x04, 0x04, 0x20, 0x00, 0x00, 0x00, 0x20, 0x00,
                                   0x00, 0x12, 0x34, 0x00, 0x00, 0x00, 0x00, 0x00};
  EXPECT_EQ(sdp::buildCommand(sdp::kWriteFile, 0x20000000, 0x1234), expected);
}

TEST(SdpCommands, OtherCommandsCarryNoFormatOrCount) {
  std::vector<uint8_t> status = sdp::buildCommand(sdp::kErrorStatus, 0, 0);
  std::vector<uint8_t> expectedStatus(17, 0);
  expectedStatus[0] = 1;
  expectedStatus[1] = expectedStatus[2] = 0x05;
  EXPECT_EQ(status, expectedStatus);

  // A count given with JUMP_ADDRESS is not sent: only WRITE_FILE has one.
  std::vector<uint8_t> jump = sdp::buildCommand(sdp::kJumpAddress, 0x20000400, 99);
  std::vector<uint8_t> expectedJump = {0x01, 0x0B, 0x0B, 0x20, 0x00, 0x04, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(jump, expectedJump);
}

TEST(SdpCommands, DataSplitIntoReportsOf1024) {
  std::vector<uint8_t> data(2500);
  std::iota(data.begin(), data.end(), 0);
  std::vector<size_t> sizes;
  std::vector<uint8_t> joined;
  for (size_t at = 0; at < data.size();) {
    std::vector<uint8_t> report = sdp::buildDataReport(data, at);
    ASSERT_EQ(report[0], 2);
    sizes.push_back(report.size());
    joined.insert(joined.end(), report.begin() + 1, report.end());
    at += report.size() - 1;
  }
  EXPECT_EQ(sizes, (std::vector<size_t>{1025, 1025, 453}));
  EXPECT_EQ(joined, data);
  // At or past the end only the report ID is left.
  EXPECT_EQ(sdp::buildDataReport(data, 2500), std::vector<uint8_t>{2});
  EXPECT_EQ(sdp::buildDataReport(data, 9999), std::vector<uint8_t>{2});
}

TEST(SdpCommands, HidReplyMustBeExactly70Bytes) {
  uint32_t word = 0;
  std::vector<uint8_t> reply = hidReply(0x88888888);
  ASSERT_EQ(reply.size(), 70u);
  EXPECT_TRUE(sdp::hidResponseWord(reply, 0, word));
  EXPECT_EQ(word, 0x88888888u);

  std::vector<uint8_t> shorter(reply.begin(), reply.end() - 1);
  std::vector<uint8_t> longer = reply;
  longer.push_back(0);
  word = 0;
  EXPECT_FALSE(sdp::hidResponseWord(shorter, 0, word));
  EXPECT_FALSE(sdp::hidResponseWord(longer, 0, word));
  EXPECT_FALSE(sdp::hidResponseWord(reply, 16, word));
  EXPECT_EQ(word, 0u);
}

TEST(SdpCommands, StatusWordIsLittleEndianAndOredIn) {
  uint32_t word = 0x01000000;
  EXPECT_TRUE(sdp::hidResponseWord(hidReply(0x12345678), 0, word));
  EXPECT_EQ(word, 0x13345678u);

  std::vector<uint8_t> serial = {0x56, 0x78, 0x78, 0x56, 0x78, 0x56, 0x34, 0x12};
  word = 0;
  EXPECT_TRUE(sdp::serialResponseWord(serial, 0, word));
  EXPECT_EQ(word, 0x12345678u);
}

TEST(SdpCommands, SerialReplyNeedsEightBytes) {
  std::vector<uint8_t> reply = {0x56, 0x78, 0x78, 0x56, 0x88, 0x88, 0x88, 0x88};
  uint32_t word = 0;
  EXPECT_TRUE(sdp::serialResponseWord(reply, 0, word));
  EXPECT_EQ(word, 0x88888888u);

  word = 0;
  std::vector<uint8_t> seven(reply.begin(), reply.end() - 1);
  EXPECT_FALSE(sdp::serialResponseWord(seven, 0, word));
  EXPECT_FALSE(sdp::serialResponseWord({}, 0, word));
  // An offset asks for 4 more bytes per step, and stops at 15.
  EXPECT_FALSE(sdp::serialResponseWord(reply, 1, word));
  std::vector<uint8_t> twelve(12, 0);
  EXPECT_TRUE(sdp::serialResponseWord(twelve, 1, word));
  std::vector<uint8_t> large(100, 0);
  EXPECT_FALSE(sdp::serialResponseWord(large, 16, word));
  EXPECT_EQ(word, 0u);
}

TEST(SdpCommands, HexDumpFormat) {
  EXPECT_EQ(sdp::hexDump({0x01, 0x0B, 0xFF, 0x00}), "1 B FF 0 \n");
  EXPECT_EQ(sdp::hexDump({}), "\n");
}

}  // namespace
