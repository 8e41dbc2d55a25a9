// Packet records and byte-by-byte assembly.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "aPacket.h"
#include "aUEI.h"

namespace {

struct PacketHolder {
  aPacket* packet = aPacket_Create();
  ~PacketHolder() {
    if (packet) aPacket_Destroy(&packet);
  }
};

// Feeds bytes until one is refused or the packet completes; returns the
// result of the last byte fed and how many were fed.
aErr feed(aPacket* packet, const std::vector<uint8_t>& bytes, size_t* fed = nullptr) {
  aErr err = aErrNone;
  size_t i = 0;
  for (; i < bytes.size(); i++) {
    err = aPacket_AddByte(packet, bytes[i]);
    if (err != aErrNone || aPacket_IsComplete(packet)) {
      i++;
      break;
    }
  }
  if (fed) *fed = i;
  return err;
}

TEST(PacketAssembly, BytesFormAPacketForAnEvenAddress) {
  PacketHolder h;
  size_t fed = 0;
  ASSERT_EQ(feed(h.packet, {0x04, 0x03, 0x01, 0x02, 0x03, 0x99}, &fed), aErrNone);
  EXPECT_EQ(fed, 5u);
  EXPECT_TRUE(aPacket_IsComplete(h.packet));
  EXPECT_EQ(h.packet->address, 0x04);
  EXPECT_EQ(h.packet->dataSize, 3);
  EXPECT_EQ(h.packet->data[0], 1);
  EXPECT_EQ(h.packet->data[1], 2);
  EXPECT_EQ(h.packet->data[2], 3);
}

TEST(PacketAssembly, ZeroOrOddAddressIsRefused) {
  PacketHolder h;
  EXPECT_EQ(aPacket_AddByte(h.packet, 0x05), aErrPacket);
  aPacket_Reset(h.packet);
  EXPECT_EQ(aPacket_AddByte(h.packet, 0x00), aErrPacket);
  aPacket_Reset(h.packet);
  EXPECT_EQ(aPacket_AddByte(h.packet, 0xAF), aErrPacket);
}

TEST(PacketAssembly, LengthLimits) {
  PacketHolder h;
  // A length of zero completes the packet after two bytes.
  ASSERT_EQ(aPacket_AddByte(h.packet, 0x02), aErrNone);
  EXPECT_FALSE(aPacket_IsComplete(h.packet));
  ASSERT_EQ(aPacket_AddByte(h.packet, 0x00), aErrNone);
  EXPECT_TRUE(aPacket_IsComplete(h.packet));
  // A byte beyond a complete empty packet is not taken as a new length.
  EXPECT_EQ(aPacket_AddByte(h.packet, 0x05), aErrPacket);

  aPacket_Reset(h.packet);
  aPacket_AddByte(h.packet, 0x02);
  EXPECT_EQ(aPacket_AddByte(h.packet, 29), aErrPacket);

  aPacket_Reset(h.packet);
  std::vector<uint8_t> longest = {0x02, 28};
  for (int i = 0; i < 28; i++) longest.push_back(static_cast<uint8_t>(i + 100));
  size_t fed = 0;
  ASSERT_EQ(feed(h.packet, longest, &fed), aErrNone);
  EXPECT_EQ(fed, 30u);
  EXPECT_TRUE(aPacket_IsComplete(h.packet));
  EXPECT_EQ(h.packet->data[27], 127);
  // A 31st byte without a reset overruns, and keeps doing so.
  EXPECT_EQ(aPacket_AddByte(h.packet, 0x00), aErrOverrun);
  for (int i = 0; i < 300; i++) ASSERT_EQ(aPacket_AddByte(h.packet, 0x02), aErrOverrun);
  ASSERT_EQ(aPacket_Reset(h.packet), aErrNone);
  EXPECT_EQ(h.packet->received, 0);
  EXPECT_EQ(aPacket_AddByte(h.packet, 0x02), aErrNone);
}

TEST(PacketAssembly, ByteAfterShortPacketIsRefused) {
  PacketHolder h;
  ASSERT_EQ(feed(h.packet, {0x06, 0x01, 0x07}), aErrNone);
  EXPECT_TRUE(aPacket_IsComplete(h.packet));
  EXPECT_EQ(aPacket_AddByte(h.packet, 0x08), aErrPacket);
  EXPECT_EQ(h.packet->data[0], 0x07);
}

TEST(PacketFields, OptionAndIndexKeepTheirLowBits) {
  const uint8_t data[] = {0x11, 0xC5, 0xE3};
  aPacket* packet = aPacket_CreateWithData(0x02, 3, data);
  ASSERT_NE(packet, nullptr);
  EXPECT_EQ(packet->received, 5);
  EXPECT_TRUE(aPacket_IsComplete(packet));
  uint8_t value = 0;
  EXPECT_EQ(aPacket_GetCmd(packet, &value), aErrNone);
  EXPECT_EQ(value, 0x11);
  EXPECT_EQ(aPacket_GetOption(packet, &value), aErrNone);
  EXPECT_EQ(value, 0x05);
  EXPECT_EQ(aPacket_GetIndex(packet, &value), aErrNone);
  EXPECT_EQ(value, 0x03);
  EXPECT_EQ(aPacket_GetIndex(packet, nullptr), aErrParam);
  aPacket_Destroy(&packet);

  aPacket* one = aPacket_CreateWithData(0x02, 1, data);
  EXPECT_EQ(aPacket_GetCmd(one, &value), aErrNone);
  EXPECT_EQ(aPacket_GetOption(one, &value), aErrPacket);
  EXPECT_EQ(aPacket_GetIndex(one, &value), aErrPacket);
  aPacket_Destroy(&one);
  EXPECT_EQ(one, nullptr);
}

TEST(PacketRecords, CreationCopyAndCheckWord) {
  uint8_t data[29] = {0};
  EXPECT_EQ(aPacket_CreateWithData(0x02, 29, data), nullptr);
  EXPECT_EQ(aPacket_CreateWithData(0x02, 1, nullptr), nullptr);
  aPacket* empty = aPacket_CreateWithData(0x02, 0, nullptr);
  ASSERT_NE(empty, nullptr);
  EXPECT_TRUE(aPacket_IsComplete(empty));

  data[0] = 9;
  data[27] = 7;
  aPacket* full = aPacket_CreateWithData(0x0A, 28, data);
  aPacket* copy = aPacket_Copy(full);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->address, 0x0A);
  EXPECT_EQ(copy->dataSize, 28);
  EXPECT_EQ(copy->data[27], 7);

  // A record whose check word is gone is refused everywhere.
  aPacket forged = *full;
  forged.check = 0x1234;
  uint8_t value;
  EXPECT_FALSE(aVALIDPACKET(&forged));
  EXPECT_EQ(aPacket_Copy(&forged), nullptr);
  EXPECT_EQ(aPacket_AddByte(&forged, 2), aErrParam);
  EXPECT_EQ(aPacket_Reset(&forged), aErrParam);
  EXPECT_EQ(aPacket_GetCmd(&forged, &value), aErrPacket);
  EXPECT_FALSE(aPacket_IsComplete(&forged));
  EXPECT_FALSE(aVALIDPACKET(static_cast<aPacket*>(nullptr)));

  aPacket* none = nullptr;
  EXPECT_EQ(aPacket_Destroy(&none), aErrParam);
  EXPECT_EQ(aPacket_Destroy(nullptr), aErrParam);
  aPacket_Destroy(&empty);
  aPacket_Destroy(&full);
  aPacket_Destroy(&copy);
}

TEST(BigEndian, Conversions) {
  const uint8_t bytes[] = {0x12, 0x34, 0x56, 0x78};
  EXPECT_EQ(aUEI_RetrieveShort(bytes), 0x1234);
  EXPECT_EQ(aUEI_RetrieveInt(bytes), 0x12345678u);
  uint8_t raw[8] = {0x00, 0x00, 0x01, 0x02, 0xFF, 0x00, 0x00, 0x01};
  uint32_t words[2];
  memcpy(words, raw, sizeof(words));
  EXPECT_EQ(aUEI_ModifyIntBuffer(words, 2), aErrNone);
  EXPECT_EQ(words[0], 0x0102u);
  EXPECT_EQ(words[1], 0xFF000001u);
  EXPECT_EQ(aUEI_ModifyIntBuffer(nullptr, 1), aErrParam);
}

}  // namespace
