// The Link's and Module's exchanges with the simulated module: UEI replies
// of every kind, byte lists and raw packets.
#include <cstring>

#include "LinkExchange.h"

// ---- UEI replies ---------------------------------------------------------------

TEST_F(LinkExchange, ErrorRepliesGiveTheModulesCode) {
  SystemClass s = system();
  simmodule::setUeiError(device(), 3, 9, aErrPermission);
  uint32_t serial = 0x55;
  EXPECT_EQ(aErrPermission, s.getSerialNumber(&serial));
  EXPECT_EQ(0x55u, serial);
  simmodule::setUeiError(device(), 3, 4, aErrRange);
  EXPECT_EQ(aErrRange, s.setLED(1));
  simmodule::setUeiError(device(), 3, 9, 0);
  EXPECT_EQ(aErrNone, s.getSerialNumber(&serial));
  EXPECT_EQ(0x0012ABCDu, serial);
}

TEST_F(LinkExchange, MissingReplyTimesOut) {
  SystemClass s = system();
  simmodule::scriptReplies(device(), 3, {});
  uint8_t model = 0;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(aErrTimeout, s.getModel(&model));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
  // The next exchange is not confused by the missed one.
  EXPECT_EQ(aErrNone, s.getModel(&model));
  EXPECT_EQ(19, model);
}

TEST_F(LinkExchange, RepliesOfEveryLength) {
  SystemClass s = system();
  uint32_t value = 0;
  // A one- or two-byte reply to a 32-bit getter is widened.
  simmodule::scriptReplies(device(), 3, {{3, 12, 0, 0xAB}});
  EXPECT_EQ(aErrNone, s.getInputVoltage(&value));
  EXPECT_EQ(0xABu, value);
  simmodule::scriptReplies(device(), 3, {{3, 12, 0, 0xAB, 0xCD}});
  EXPECT_EQ(aErrNone, s.getInputVoltage(&value));
  EXPECT_EQ(0xABCDu, value);
  // A reply whose length carries no well-formed value is no value.
  simmodule::scriptReplies(device(), 3, {{3, 12, 0, 1, 2, 3}});
  EXPECT_EQ(aErrPacket, s.getInputVoltage(&value));
  simmodule::scriptReplies(device(), 3, {{3, 12, 0, 1, 2, 3, 4, 5}});
  EXPECT_EQ(aErrPacket, s.getInputVoltage(&value));
  // A reply for another option or index is not taken.
  simmodule::scriptReplies(device(), 3, {{3, 13, 0, 1}, {3, 12, 1, 2}, {3, 12, 0, 0, 0, 0, 9}});
  EXPECT_EQ(aErrNone, s.getInputVoltage(&value));
  EXPECT_EQ(9u, value);
  // An error reply without its code byte is an unknown error, not success.
  simmodule::scriptReplies(device(), 3, {{3, 12, 0x80}});
  EXPECT_EQ(aErrUnknown, s.getInputVoltage(&value));
}

TEST_F(LinkExchange, SubindexedGetSendsTheSubindexAsValue) {
  USBClass usb;
  usb.init(&module, 0);
  simmodule::setUeiValue(device(), 18, 8, 0, 3, 4, static_cast<uint32_t>(-5000));
  int32_t mv = 0;
  ASSERT_EQ(aErrNone, usb.getPortVoltage(3, &mv));
  EXPECT_EQ(-5000, mv);
  EXPECT_EQ((Bytes{18, 0x48, 0x20, 3}), requests().at(0));
}

TEST_F(LinkExchange, UEIChecksAddressAndConnection) {
  uei value{};
  value.module = 3;
  value.command = 3;
  EXPECT_EQ(aErrPacket, link->sendUEI(value));
  value.module = 0;
  EXPECT_EQ(aErrPacket, link->sendUEI(value, 1));
  EXPECT_EQ(aErrPacket, link->receiveUEI(5, 3, 1, 0, &value));
  value.module = 2;
  value.type = static_cast<ueiType>(3);
  EXPECT_EQ(aErrParam, link->sendUEI(value));
  Link idle("idle");
  value.type = UEI_TYPE_NONE;
  EXPECT_EQ(aErrConnection, idle.sendUEI(value));
  EXPECT_EQ(aErrConnection, idle.sendPacket(2, 1, 0, nullptr));
  uint8_t address = 9;
  EXPECT_EQ(aErrNotReady, idle.getModuleAddress(&address));
  EXPECT_EQ(0, address);
  EXPECT_EQ(LINK_QUEUE_ERROR, idle.getStatus());
}

TEST(UEIFilter, MatchesRepliesByAddressCommandOptionAndIndex) {
  auto make = [](uint8_t address, std::vector<uint8_t> d) {
    return aPacket_CreateWithData(address, static_cast<uint8_t>(d.size()), d.data());
  };
  uei want{};
  want.module = 2;
  want.command = 31;
  want.option = 2;
  want.specifier = 1;
  struct Case {
    aPacket* packet;
    bool match;
  } cases[] = {
      {make(2, {31, 2, 1, 7}), true},
      {make(2, {31, 2, 0x81, 5}), true},  // an error reply for the same entity
      {make(2, {31, 2, 0x21}), true},     // a set's reply shape with flags in the specifier
      {make(4, {31, 2, 1, 7}), false},
      {make(2, {30, 2, 1, 7}), false},
      {make(2, {31, 0x42, 1, 7}), false},
      {make(2, {31, 2, 2, 7}), false},
      {make(2, {31, 2}), false},
  };
  // The filter is run over many packets in one drain: a match (which
  // records the reply's specifier) must not change what later packets match.
  for (Case& c : cases) {
    EXPECT_EQ(c.match, Link::sUEIFilter(c.packet, &want) != 0);
    aPacket_Destroy(&c.packet);
  }
  aPacket* value = make(2, {31, 2, 1, 0x12, 0x34, 0x56, 0x78});
  ASSERT_TRUE(Link::sUEIFilter(value, &want));
  EXPECT_EQ(UEI_TYPE_INT, want.type);
  EXPECT_EQ(0x12345678u, want.value.intVal);
  aPacket_Destroy(&value);
}

// ---- Byte lists ------------------------------------------------------------------

TEST_F(LinkExchange, ByteListsInSequence) {
  SystemClass s = system();
  std::vector<uint8_t> long_(60);
  for (size_t i = 0; i < long_.size(); ++i) long_[i] = static_cast<uint8_t>(i + 1);
  simmodule::setUeiBytes(device(), 3, 32, 0, long_);
  uint8_t buffer[64];
  uint32_t count = 0;
  ASSERT_EQ(aErrNone, s.getUEIBytes8(32, buffer, sizeof buffer, &count));
  EXPECT_EQ(60u, count);
  EXPECT_EQ(0, std::memcmp(buffer, long_.data(), 60));
  // Exactly as many bytes as the buffer holds fit; one more is too many.
  count = 0;
  EXPECT_EQ(aErrNone, s.getUEIBytes8(32, buffer, 60, &count));
  count = 0;
  EXPECT_EQ(aErrMemory, s.getUEIBytes8(32, buffer, 59, &count));
  EXPECT_EQ(aErrParam, s.getUEIBytes8(32, buffer, 0, &count));
  EXPECT_EQ(aErrParam, s.getUEIBytes8(32, nullptr, 8, &count));
}

TEST_F(LinkExchange, ByteListWithWrongSequenceTimesOut) {
  SystemClass s = system();
  simmodule::scriptReplies(device(), 3, {{3, 32, 0, 'a', 0x80}, {3, 32, 0, 'b', 0x02}});
  uint8_t buffer[16];
  uint32_t count = 0;
  EXPECT_EQ(aErrTimeout, s.getUEIBytes8(32, buffer, sizeof buffer, &count));
  EXPECT_EQ(1u, count);
}

TEST_F(LinkExchange, ByteListErrorsAndShortPackets) {
  SystemClass s = system();
  uint8_t buffer[16];
  uint32_t count = 0;
  simmodule::scriptReplies(device(), 3, {{3, 32, 0x80, aErrBusy}});
  EXPECT_EQ(aErrBusy, s.getUEIBytes8(32, buffer, sizeof buffer, &count));
  // A packet without its sequence byte is not part of the list.
  simmodule::scriptReplies(device(), 3, {{3, 32, 0}, {3, 32, 0, 'x', 0x00}});
  count = 0;
  EXPECT_EQ(aErrNone, s.getUEIBytes8(32, buffer, sizeof buffer, &count));
  EXPECT_EQ(1u, count);
  EXPECT_EQ('x', buffer[0]);
}

TEST_F(LinkExchange, ThirtyTwoBitLists) {
  USBSystemClass hub;
  hub.init(&module, 0);
  simmodule::setUeiBytes(device(), 38, 6, 0, {0, 0, 0, 1, 0xFF, 0, 0, 2});
  uint32_t list[4];
  uint32_t count = 7;
  ASSERT_EQ(aErrNone, hub.getModeList(list, 4, &count));
  EXPECT_EQ(2u, count);
  EXPECT_EQ(1u, list[0]);
  EXPECT_EQ(0xFF000002u, list[1]);
  simmodule::setUeiBytes(device(), 38, 6, 0, {0, 0, 0, 1, 2});
  EXPECT_EQ(aErrParse, hub.getModeList(list, 4, &count));
  EXPECT_EQ(0u, count);
  simmodule::setUeiBytes(device(), 38, 6, 0, std::vector<uint8_t>(12, 1));
  EXPECT_EQ(aErrMemory, hub.getModeList(list, 2, &count));
  EXPECT_EQ(0u, count);
}

// ---- Raw packets ----------------------------------------------------------------------

TEST_F(LinkExchange, RawPacketLengths) {
  uint8_t data[28] = {};
  EXPECT_EQ(aErrParam, link->sendPacket(2, 23, 28, data));
  ASSERT_EQ(aErrNone, link->sendPacket(2, 23, 27, data));
  uint8_t match[] = {23};
  uint8_t length = 1;
  uint8_t reply[28];
  ASSERT_EQ(aErrNone, link->receivePacket(2, match, &length, reply));
  EXPECT_EQ(28, length);
  EXPECT_EQ(aErrPacket, link->sendPacket(3, 23, 0, data));
}

TEST_F(LinkExchange, ReceivePacketWithoutMatchTakesAnyPacket) {
  sim->sendPacket(simmodule::Packet::make(6, {99, 1}));
  uint8_t length = 0;
  uint8_t data[28];
  ASSERT_EQ(aErrNone, link->receivePacket(2, nullptr, &length, data));
  EXPECT_EQ(2, length);
  EXPECT_EQ(99, data[0]);
  length = 0;
  EXPECT_EQ(aErrTimeout, link->receivePacket(2, nullptr, &length, data));
}
