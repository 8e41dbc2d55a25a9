// The packet debug log ring.
#include <gtest/gtest.h>

#include <vector>

#include "aPacketFifo.h"

namespace {

std::vector<uint8_t> bytes(size_t n, uint8_t first) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; i++) v[i] = static_cast<uint8_t>(first + i);
  return v;
}

TEST(PacketLog, RecordMustLeaveOneByteFree) {
  aPacketLog* log = aPacketLog_Create(16);
  ASSERT_NE(log, nullptr);
  auto fourteen = bytes(14, 1);
  EXPECT_EQ(aPacketLog_Put(log, 1, 14, fourteen.data()), aErrOverrun);
  uint8_t direction = 0;
  uint32_t length = 64;
  uint8_t buffer[64];
  EXPECT_EQ(aPacketLog_Get(log, &direction, &length, buffer), aErrNotFound);

  EXPECT_EQ(aPacketLog_Put(log, 1, 13, fourteen.data()), aErrNone);
  // The second record pushes the first out.
  auto other = bytes(3, 50);
  EXPECT_EQ(aPacketLog_Put(log, 2, 3, other.data()), aErrNone);
  length = sizeof(buffer);
  ASSERT_EQ(aPacketLog_Get(log, &direction, &length, buffer), aErrNone);
  EXPECT_EQ(direction, 2);
  ASSERT_EQ(length, 3u);
  EXPECT_EQ(buffer[0], 50);
  EXPECT_EQ(buffer[2], 52);
  length = sizeof(buffer);
  EXPECT_EQ(aPacketLog_Get(log, &direction, &length, buffer), aErrNotFound);
  EXPECT_EQ(aPacketLog_Destroy(&log), aErrNone);
  EXPECT_EQ(log, nullptr);
  EXPECT_EQ(aPacketLog_Destroy(&log), aErrNone);
}

TEST(PacketLog, SmallBufferKeepsTheRecord) {
  aPacketLog* log = aPacketLog_Create(64);
  auto data = bytes(10, 7);
  ASSERT_EQ(aPacketLog_Put(log, 3, 10, data.data()), aErrNone);
  uint8_t direction = 0;
  uint8_t buffer[16];
  uint32_t length = 4;
  EXPECT_EQ(aPacketLog_Get(log, &direction, &length, buffer), aErrOverrun);
  EXPECT_EQ(length, 10u);
  length = sizeof(buffer);
  ASSERT_EQ(aPacketLog_Get(log, &direction, &length, buffer), aErrNone);
  EXPECT_EQ(direction, 3);
  EXPECT_EQ(length, 10u);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 10), data);
  aPacketLog_Destroy(&log);
}

// Records written across the end of the ring come back whole and in order,
// and the oldest ones make way for new ones.
TEST(PacketLog, WrapsAndDropsOldestInOrder) {
  aPacketLog* log = aPacketLog_Create(50);
  uint8_t expectedFirst = 0;
  for (int round = 0; round < 40; round++) {
    uint32_t n = static_cast<uint32_t>(round % 9);
    auto data = bytes(n, static_cast<uint8_t>(round));
    ASSERT_EQ(aPacketLog_Put(log, static_cast<uint8_t>(round), n, data.data()), aErrNone);
    if (round % 3 == 2) {
      uint8_t direction;
      uint8_t buffer[16];
      uint32_t length = sizeof(buffer);
      ASSERT_EQ(aPacketLog_Get(log, &direction, &length, buffer), aErrNone);
      // Whatever survived is a whole record from a later round than the last read.
      EXPECT_GE(direction, expectedFirst);
      EXPECT_EQ(length, static_cast<uint32_t>(direction % 9));
      for (uint32_t i = 0; i < length; i++) ASSERT_EQ(buffer[i], static_cast<uint8_t>(direction + i));
      expectedFirst = static_cast<uint8_t>(direction + 1);
    }
  }
  aPacketLog_Destroy(&log);
}

TEST(PacketLog, BadArguments) {
  EXPECT_EQ(aPacketLog_Create(0), nullptr);
  aPacketLog* log = aPacketLog_Create(1024);
  uint8_t data[300] = {0};
  EXPECT_EQ(aPacketLog_Put(log, 1, 256, data), aErrParam);
  EXPECT_EQ(aPacketLog_Put(log, 1, 255, data), aErrNone);
  EXPECT_EQ(aPacketLog_Put(log, 1, 2, nullptr), aErrParam);
  EXPECT_EQ(aPacketLog_Put(nullptr, 1, 0, nullptr), aErrParam);
  uint8_t direction;
  uint32_t length = 0;
  EXPECT_EQ(aPacketLog_Get(log, &direction, nullptr, data), aErrParam);
  EXPECT_EQ(aPacketLog_Get(log, &direction, &length, nullptr), aErrParam);
  aPacketLog_Destroy(&log);
}

}  // namespace
