// The Link's and Module's exchanges with the simulated module: UEI replies
// of every kind, byte lists, raw packets, store slots, factory data, module
// queries, connection and addressing.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "SimFixture.h"

using namespace Mirovane::Kelvarion;

class LinkExchange : public SimFixture {
 protected:
  SystemClass system() {
    SystemClass s;
    s.init(&module, 0);
    return s;
  }
};

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

// ---- Store slots -----------------------------------------------------------------------

TEST_F(LinkExchange, LoadInChunksOf25WithChecksums) {
  simmodule::setStoreSlot(device(), 0, 1, {}, 1000);
  std::vector<uint8_t> data(26);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(200 + i);
  ASSERT_EQ(aErrNone, link->loadStoreSlot(2, 0, 1, data.data(), 26));
  std::vector<Bytes> sent = requests();
  ASSERT_EQ(4u, sent.size());
  EXPECT_EQ((Bytes{4, 4, 0, 1}), sent[0]);
  EXPECT_EQ(28u, sent[1].size());
  EXPECT_EQ((Bytes{4, 7, 1, 225}), sent[2]);
  EXPECT_EQ((Bytes{4, 8, 1}), sent[3]);
  std::vector<uint8_t> stored;
  ASSERT_TRUE(simmodule::getStoreSlot(device(), 0, 1, &stored));
  EXPECT_EQ(data, stored);
  // Nothing to load: the slot is opened and closed.
  ASSERT_EQ(aErrNone, link->loadStoreSlot(2, 0, 1, nullptr, 0));
  sent = requests();
  ASSERT_EQ(2u, sent.size());
  EXPECT_EQ(8, sent[1][1]);
}

TEST_F(LinkExchange, LoadFailures) {
  std::vector<uint8_t> data(30, 1);
  EXPECT_EQ(aErrMedia, link->loadStoreSlot(2, 5, 5, data.data(), 30));  // no such slot
  EXPECT_EQ(1u, requests().size());
  simmodule::setStoreSlot(device(), 0, 1, {}, 1000);
  // A checksum that does not match ends the transfer; the slot is closed anyway.
  simmodule::scriptReplies(device(), 4, {{4, 4, 0, 1, 9}});
  simmodule::scriptReplies(device(), 4, {{4, 7, 9, 0}});
  simmodule::scriptReplies(device(), 4, {{4, 8, 9, 0}});
  EXPECT_EQ(aErrIO, link->loadStoreSlot(2, 0, 1, data.data(), 30));
  std::vector<Bytes> sent = requests();
  ASSERT_EQ(3u, sent.size());
  EXPECT_EQ((Bytes{4, 8, 9}), sent[2]);
  // A slot too small for the data: the module's overrun code.
  simmodule::setStoreSlot(device(), 0, 2, {}, 10);
  EXPECT_EQ(aErrOverrun, link->loadStoreSlot(2, 0, 2, data.data(), 30));
}

TEST_F(LinkExchange, UnloadIntoSmallerBufferIsOverrun) {
  std::vector<uint8_t> content(40);
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>(i);
  simmodule::setStoreSlot(device(), 2, 3, content, 100);
  uint8_t buffer[64];
  uint32_t count = 0;
  ASSERT_EQ(aErrNone, link->unloadStoreSlot(2, 2, 3, buffer, sizeof buffer, &count));
  EXPECT_EQ(40u, count);
  EXPECT_EQ(0, std::memcmp(buffer, content.data(), 40));
  std::memset(buffer, 0, sizeof buffer);
  EXPECT_EQ(aErrOverrun, link->unloadStoreSlot(2, 2, 3, buffer, 30, &count));
  EXPECT_EQ(30u, count);
  EXPECT_EQ(0, std::memcmp(buffer, content.data(), 30));
  EXPECT_EQ(0, buffer[30]);
}

TEST_F(LinkExchange, SizeCapacityAndTheirFailures) {
  simmodule::setStoreSlot(device(), 1, 1, std::vector<uint8_t>(300, 7), 0x1234);
  uint32_t n = 0;
  EXPECT_EQ(aErrNone, link->storeSlotSize(2, 1, 1, &n));
  EXPECT_EQ(300u, n);
  EXPECT_EQ(aErrNone, link->storeSlotCapacity(2, 1, 1, &n));
  EXPECT_EQ(0x1234u, n);
  EXPECT_EQ(aErrNotFound, link->storeSlotSize(2, 1, 9, &n));
  simmodule::scriptReplies(device(), 4, {{4, 2, 1, 1, 0}});
  EXPECT_EQ(aErrUnknown, link->storeSlotSize(2, 1, 1, &n));
  // No reply is a time-out, not success.
  simmodule::scriptReplies(device(), 4, {});
  n = 77;
  EXPECT_EQ(aErrTimeout, link->storeSlotCapacity(2, 1, 1, &n));
  EXPECT_EQ(77u, n);
  // An open reply without its handle byte opens nothing.
  simmodule::scriptReplies(device(), 4, {{4, 2, 1, 1, 0, 5}});
  simmodule::scriptReplies(device(), 4, {{4, 3, 1, 1}});
  uint8_t buffer[8];
  EXPECT_EQ(aErrMedia, link->unloadStoreSlot(2, 1, 1, buffer, sizeof buffer, &n));
}

TEST_F(LinkExchange, UnloadReadFailures) {
  simmodule::setStoreSlot(device(), 1, 1, std::vector<uint8_t>(10, 7), 100);
  uint8_t buffer[16];
  uint32_t count = 5;
  simmodule::scriptReplies(device(), 4, {{4, 2, 1, 1, 0, 10}});
  simmodule::scriptReplies(device(), 4, {{4, 3, 1, 1, 4}});
  simmodule::scriptReplies(device(), 4, {{4, 6, 4}});  // no data: not a read reply
  simmodule::scriptReplies(device(), 4, {{4, 8, 4, 0}});
  EXPECT_EQ(aErrUnknown, link->unloadStoreSlot(2, 1, 1, buffer, sizeof buffer, &count));
  EXPECT_EQ(0u, count);
  simmodule::scriptReplies(device(), 4, {{4, 2, 1, 1, 0, 10}});
  simmodule::scriptReplies(device(), 4, {{4, 3, 1, 1, 4}});
  simmodule::scriptReplies(device(), 4, {{4, 0x86, 4, aErrIO}});
  simmodule::scriptReplies(device(), 4, {{4, 8, 4, 0}});
  EXPECT_EQ(aErrIO, link->unloadStoreSlot(2, 1, 1, buffer, sizeof buffer, &count));
  // A close reply of the wrong length.
  simmodule::scriptReplies(device(), 4, {{4, 4, 1, 1, 4}});
  simmodule::scriptReplies(device(), 4, {{4, 8, 4}});
  EXPECT_EQ(aErrIO, link->loadStoreSlot(2, 1, 1, nullptr, 0));
}

// ---- Factory data ------------------------------------------------------------------------

TEST_F(LinkExchange, FactoryDataRoundTrip) {
  std::vector<uint8_t> data(60);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 3);
  ASSERT_EQ(aErrNone, link->setFactoryData(2, 5, data.data(), 60));
  std::vector<Bytes> sent = requests();
  ASSERT_EQ(4u, sent.size());
  EXPECT_EQ(0x5E, sent[0][0]);
  EXPECT_EQ(0x55, sent[0][1]);
  EXPECT_EQ(28u, sent[0].size());
  EXPECT_EQ(0x15, sent[1][1]);
  EXPECT_EQ(10u, sent[2].size());
  EXPECT_EQ((Bytes{0x5E, 0x20, 0, 60}), sent[3]);
  EXPECT_EQ(data, simmodule::getFactoryData(device(), 5));
  uint8_t buffer[100];
  uint32_t count = 0;
  ASSERT_EQ(aErrNone, link->getFactoryData(2, 5, buffer, sizeof buffer, &count));
  EXPECT_EQ(60u, count);
  EXPECT_EQ(0, std::memcmp(buffer, data.data(), 60));
  sent = requests();
  ASSERT_EQ(4u, sent.size());
  EXPECT_EQ((Bytes{0x5E, 0x45}), sent[0]);
  EXPECT_EQ((Bytes{0x5E, 0x05}), sent[1]);
  EXPECT_EQ((Bytes{0x5E, 0x05}), sent[2]);
  EXPECT_EQ((Bytes{0x5E, 0x20, 0, 60}), sent[3]);
}

TEST_F(LinkExchange, FactoryDataBoundsAndErrors) {
  simmodule::setFactoryData(device(), 1, std::vector<uint8_t>(20, 1));
  uint8_t buffer[32];
  uint32_t count = 0;
  // Data that would fill the buffer completely is an overrun.
  EXPECT_EQ(aErrOverrun, link->getFactoryData(2, 1, buffer, 20, &count));
  EXPECT_EQ(aErrNone, link->getFactoryData(2, 1, buffer, 21, &count));
  EXPECT_EQ(20u, count);
  EXPECT_EQ(aErrNone, link->setFactoryData(2, 1, nullptr, 0));
  EXPECT_EQ((Bytes{0x5E, 0x20, 0, 0}), requests().back());
  simmodule::scriptReplies(device(), 0x5E, {{0x5E, 0x81, aErrPermission}});
  EXPECT_EQ(aErrPermission, link->getFactoryData(2, 1, buffer, sizeof buffer, &count));
  simmodule::scriptReplies(device(), 0x5E, {{0x5E, 0x11, 0}});
  EXPECT_EQ(aErrSize, link->setFactoryData(2, 1, buffer, 4));
  simmodule::scriptReplies(device(), 0x5E, {});
  EXPECT_EQ(aErrTimeout, link->setFactoryData(2, 1, buffer, 4));
  EXPECT_EQ(aErrParam, link->getFactoryData(2, 16, buffer, sizeof buffer, &count));
}

// ---- Module queries ----------------------------------------------------------------------

TEST_F(LinkExchange, ModuleQueries) {
  EXPECT_EQ(aErrNone, module.hasUEI(3, 9, 0, 0x40));
  EXPECT_EQ((Bytes{73, 1, 3, 9, 0, 0x40}), requests().at(0));
  EXPECT_EQ(aErrInvalidEntity, module.hasUEI(200, 1, 0, 0x80));
  requests();
  uint8_t n = 9;
  EXPECT_EQ(aErrNone, module.classQuantity(3, &n));
  EXPECT_EQ(1, n);
  EXPECT_EQ((Bytes{73, 4, 3}), requests().at(0));
  EXPECT_EQ(aErrNone, module.subClassQuantity(18, 2, &n));
  EXPECT_EQ((Bytes{73, 5, 18, 2}), requests().at(0));
  EXPECT_EQ(aErrNone, module.entityGroup(18, 2, &n));
  EXPECT_EQ(2, n);
  EXPECT_EQ((Bytes{73, 6, 18, 2}), requests().at(0));
  uint32_t build = 0;
  simmodule::scriptReplies(device(), 73, {{73, 0xFF, 0x12, 0x34, 0x56, 0x78}});
  EXPECT_EQ(aErrNone, module.buildNumber(&build));
  EXPECT_EQ(0x12345678u, build);
  EXPECT_EQ((Bytes{73, 0xFF}), requests().at(0));
}

TEST_F(LinkExchange, ModuleQueryFailures) {
  EXPECT_EQ(aErrParam, module.hasUEI(3, 9, 0, 0xC0));
  EXPECT_EQ(aErrParam, module.hasUEI(3, 9, 0, 0x41));
  EXPECT_EQ(aErrParam, module.hasUEI(3, 9, 0, 0x01));
  EXPECT_TRUE(requests().empty());
  uint8_t n = 9;
  simmodule::scriptReplies(device(), 73, {{73, 4, 3}});
  EXPECT_EQ(aErrUnknown, module.classQuantity(3, &n));
  EXPECT_EQ(0, n);
  simmodule::scriptReplies(device(), 73, {{73, 5, 18, 3, 1}});
  EXPECT_EQ(aErrUnknown, module.subClassQuantity(18, 2, &n));
  simmodule::scriptReplies(device(), 73, {});
  EXPECT_EQ(aErrTimeout, module.entityGroup(18, 2, &n));
  uint32_t build = 7;
  simmodule::scriptReplies(device(), 73, {{73, 0xFF, 1, 2}});
  EXPECT_EQ(aErrUnknown, module.buildNumber(&build));
  EXPECT_EQ(0u, build);
  EXPECT_EQ(aErrParam, module.buildNumber(nullptr));
}

TEST_F(LinkExchange, DebugEcho) {
  const uint8_t data[] = {1, 2, 3, 4, 5};
  EXPECT_EQ(aErrNone, module.debug(data, 5));
  EXPECT_EQ((Bytes{23, 1, 2, 3, 4, 5}), requests().at(0));
  simmodule::scriptReplies(device(), 23, {{23, 1, 2, 3, 4, 6}});
  EXPECT_EQ(aErrIO, module.debug(data, 5));
  simmodule::scriptReplies(device(), 23, {{23, 1, 2, 3, 4}});
  EXPECT_EQ(aErrIO, module.debug(data, 5));
}

// ---- Connection, addressing, routing -----------------------------------------------------

TEST_F(LinkExchange, ConnectionRules) {
  Link bare("bare");
  EXPECT_EQ(aErrConfiguration, bare.connect());
  linkSpec spec;
  EXPECT_EQ(aErrNotFound, bare.getLinkSpecifier(&spec));
  Module other(2);
  EXPECT_EQ(aErrParam, other.connect(LINKTYPE_TCPIP, 0));
  EXPECT_EQ(aErrBusy, module.connectFromSpec(simSpec(*sim, 1, 2)));
  EXPECT_EQ(aErrBusy, link->setLinkSpecifier(simSpec(*sim, 1, 2)));
  EXPECT_EQ(aErrNone, link->getLinkSpecifier(&spec));
  EXPECT_EQ(0x0012ABCDu, spec.serialNumber);
  EXPECT_TRUE(module.isConnected());
  EXPECT_EQ(LINK_RUNNING, module.getStatus());
  EXPECT_STREQ("Link", link->getName());
  EXPECT_EQ(std::string(1024, 'n'), std::string(Link(std::string(2000, 'n')).getName()));
}

TEST_F(LinkExchange, FailedConnectLeavesNoDeadLinkBehind) {
  // A module that is not there yet: the connection fails ...
  simmodule::EndpointConfig endpoint;
  endpoint.heartbeatMs = 0;
  simmodule::Simulator later(simConfig(0x77, 4, 6), endpoint);
  ASSERT_TRUE(later.listenTcp(platform::ipv4Loopback(), 0));
  linkSpec spec = simSpec(later, 0x77, 6);
  later.stop();
  Module late(6);
  EXPECT_EQ(aErrConnection, late.connectFromSpec(spec));
  EXPECT_FALSE(late.isConnected());
  // ... and once it listens, a reconnect reaches it.
  simmodule::Simulator back(simConfig(0x77, 4, 6), endpoint);
  ASSERT_TRUE(back.listenTcp(platform::ipv4Loopback(), static_cast<uint16_t>(spec.ipPort)));
  ASSERT_TRUE(back.start());
  EXPECT_EQ(aErrNone, late.reconnect());
  SystemClass s;
  s.init(&late, 0);
  uint32_t serial = 0;
  EXPECT_EQ(aErrNone, s.getSerialNumber(&serial));
  EXPECT_EQ(0x77u, serial);
  late.disconnect();
  back.stop();
}

TEST_F(LinkExchange, AutomaticNetworkingLearnsTheAddress) {
  simmodule::EndpointConfig endpoint;
  endpoint.heartbeatMs = 0;
  simmodule::Simulator at6(simConfig(0x66, 4, 6), endpoint);
  ASSERT_TRUE(at6.listenTcp(platform::ipv4Loopback(), 0));
  ASSERT_TRUE(at6.start());
  Module learning(2);
  ASSERT_EQ(aErrNone, learning.connectFromSpec(simSpec(at6, 0x66, 6)));
  EXPECT_EQ(6, learning.getModuleAddress());
  Module fixed(2, false, 0);
  ASSERT_EQ(aErrNone, fixed.connectFromSpec(simSpec(at6, 0x66, 6)));
  EXPECT_EQ(2, fixed.getModuleAddress());
  uint8_t address = 0;
  EXPECT_EQ(aErrNone, fixed.getLink()->getModuleAddress(&address));
  EXPECT_EQ(6, address);
  fixed.disconnect();
  learning.disconnect();
  at6.stop();
}

TEST_F(LinkExchange, ThroughARoutingModule) {
  sim->addModule(simConfig(0x44444444, 13, 8));
  Module behind(8);
  EXPECT_EQ(aErrNotReady, behind.connectThroughLinkModule(nullptr));
  ASSERT_EQ(aErrNone, behind.connectThroughLinkModule(&module));
  EXPECT_EQ(8, behind.getModuleAddress());
  SystemClass s;
  s.init(&behind, 0);
  uint32_t serial = 0;
  ASSERT_EQ(aErrNone, s.getSerialNumber(&serial));
  EXPECT_EQ(0x44444444u, serial);
  uint8_t router = 0;
  ASSERT_EQ(aErrNone, s.getRouter(&router));
  EXPECT_EQ(2, router);
  // Both modules share one packet link; the router's stays up when the other goes.
  behind.disconnect();
  uint32_t own = 0;
  EXPECT_EQ(aErrNone, system().getSerialNumber(&own));
  EXPECT_EQ(0x0012ABCDu, own);
  Module orphan(4);
  Module noSpec(2);
  EXPECT_EQ(aErrNotFound, orphan.connectThroughLinkModule(&noSpec));
}

TEST_F(LinkExchange, CopiesShareOneLink) {
  Module* copy = new Module(module);
  EXPECT_EQ(copy->getLink(), module.getLink());
  Link linkCopy = *link;
  delete copy;
  EXPECT_TRUE(module.isConnected());
  EXPECT_TRUE(linkCopy.isConnected());
  uint32_t serial = 0;
  EXPECT_EQ(aErrNone, system().getSerialNumber(&serial));
}

TEST_F(LinkExchange, PacketLogWritesRecords) {
  char path[] = "/tmp/api_packetlog_XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  Module unconnected(2);
  EXPECT_EQ(aErrConfiguration, unconnected.enablePacketLog(path));
  ASSERT_EQ(aErrNone, module.enablePacketLog(path));
  uint8_t model = 0;
  ASSERT_EQ(aErrNone, system().getModel(&model));
  auto contents = [&] {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  };
  EXPECT_TRUE(eventually([&] {
    std::string text = contents();
    return text.find("5 < START\r\n") != std::string::npos &&
           text.find("5 > 0x2 0x3 0x3 0x48 0x20 \r\n") != std::string::npos &&
           text.find("6 < 0x2 0x4 0x3 0x8 0x0 0x13 \r\n") != std::string::npos;
  }));
  EXPECT_EQ(aErrNone, module.disablePacketLog());
  std::remove(path);
}
