// Every method of every entity class against the simulated module: the
// request's command, option bits, specifier, subindex and value width, and
// the value a getter hands back.
#include <cstring>

#include "EntityMethodTable.h"
#include "SimFixture.h"

using namespace Mirovane::Kelvarion;

namespace {

// Every method of the table, all families together.
std::vector<MethodCase> allMethods() {
  std::vector<MethodCase> all;
  for (const std::vector<MethodCase>* part : {&kSystemEntityMethods, &kIOEntityMethods, &kUSBEntityMethods})
    all.insert(all.end(), part->begin(), part->end());
  return all;
}

Bytes bigEndian(uint32_t value, uint8_t width) {
  Bytes b;
  for (int shift = 8 * (width - 1); shift >= 0; shift -= 8) b.push_back(static_cast<uint8_t>(value >> shift));
  return b;
}

}  // namespace

class EntityMethods : public SimFixture {};

TEST_F(EntityMethods, EveryMethodSendsItsRequestAndTakesItsReply) {
  const uint8_t index = 3, subindex = 5;
  for (const MethodCase& c : allMethods()) {
    SCOPED_TRACE(c.name);
    const uint32_t value = 0x89ABCDEF & (c.width == 4 ? 0xFFFFFFFFu : (1u << (8 * c.width)) - 1);
    Bytes expected = {c.command, 0, static_cast<uint8_t>(index | 0x20)};
    bool list = c.width == 0 && c.kind == Kind::Get;
    switch (c.kind) {
      case Kind::Get:
      case Kind::GetSub:
        expected[1] = static_cast<uint8_t>(c.option | 0x40);
        if (c.kind == Kind::GetSub) expected.push_back(subindex);
        if (list) simmodule::setUeiBytes(device(), c.command, c.option, index, {0, 0, 0, 1, 0x12, 0x34, 0x56, 0x78});
        else simmodule::setUeiValue(device(), c.command, c.option, index, c.kind == Kind::GetSub ? subindex : -1, c.width, value);
        break;
      case Kind::Set:
      case Kind::SetSub:
      case Kind::SetValue:
        expected[1] = static_cast<uint8_t>(c.option | 0x80);
        if (c.kind == Kind::SetSub) expected.push_back(subindex);
        for (uint8_t b : bigEndian(value, c.width)) expected.push_back(b);
        break;
      case Kind::Command:
        expected[1] = static_cast<uint8_t>(c.option | 0x80);
        break;
    }
    uint32_t out = 0;
    EXPECT_EQ(aErrNone, c.call(&module, index, subindex, value, &out));
    if (c.kind == Kind::Get || c.kind == Kind::GetSub) {
      EXPECT_EQ(list ? 0x12345678u : value, out);
    }
    std::vector<Bytes> sent = requests();
    ASSERT_EQ(1u, sent.size());
    EXPECT_EQ(expected, sent[0]);
  }
}

TEST_F(EntityMethods, GetterWithNullOutputSendsNothing) {
  ClockClass clock;
  clock.init(&module, 0);
  EXPECT_EQ(aErrParam, clock.getYear(nullptr));
  USBClass usb;
  usb.init(&module, 0);
  EXPECT_EQ(aErrParam, usb.getPortCurrent(1, nullptr));
  EXPECT_TRUE(requests().empty());
}

TEST_F(EntityMethods, UnimplementedMethodsSendNothing) {
  SystemClass system;
  system.init(&module, 0);
  PortClass port;
  port.init(&module, 0);
  USBSystemClass hub;
  hub.init(&module, 0);
  const uint8_t bytes[4] = {1, 2, 3, 4};
  const uint32_t words[2] = {1, 2};
  EXPECT_EQ(aErrUnimplemented, system.setName(bytes, 4));
  EXPECT_EQ(aErrUnimplemented, system.setInputPowerBehaviorConfig(bytes, 4));
  EXPECT_EQ(aErrUnimplemented, port.setName(bytes, 4));
  EXPECT_EQ(aErrUnimplemented, hub.setModeList(words, 2));
  EXPECT_EQ(aErrUnimplemented, hub.setPowerBehaviorConfig(words, 2));
  EXPECT_EQ(aErrUnimplemented, hub.setDataRoleBehaviorConfig(words, 2));
  EXPECT_TRUE(requests().empty());
}

TEST_F(EntityMethods, UnboundEntityIsUnusable) {
  SystemClass system;
  uint32_t serial = 0;
  EXPECT_EQ(aErrResource, system.getSerialNumber(&serial));
  EXPECT_EQ(aErrResource, system.reset());
  StoreClass store;
  uint32_t size = 0;
  EXPECT_EQ(aErrResource, store.getSlotSize(0, &size));
  I2CClass i2c;
  EXPECT_EQ(aErrResource, i2c.setPullup(true));
}

TEST_F(EntityMethods, CopiesAreBoundAndIndependent) {
  SystemClass* original = new SystemClass;
  original->init(&module, 0);
  SystemClass copy(*original);
  SystemClass assigned;
  assigned = copy;
  delete original;
  uint32_t serial = 0;
  EXPECT_EQ(aErrNone, copy.getSerialNumber(&serial));
  EXPECT_EQ(0x0012ABCDu, serial);
  EXPECT_EQ(aErrNone, assigned.getSerialNumber(&serial));
  EXPECT_EQ(0u, assigned.getIndex());
}

TEST_F(EntityMethods, ByteListGettersOfNames) {
  SystemClass system;
  system.init(&module, 0);
  uint8_t name[64];
  uint32_t count = 99;  // the getter counts from 0 itself
  ASSERT_EQ(aErrNone, system.getName(name, sizeof name, &count));
  EXPECT_EQ("Simulated module", std::string(reinterpret_cast<char*>(name), count));
  EXPECT_EQ((Bytes{3, 32 | 0x40, 0x20}), requests().at(0));
  PortClass port;
  port.init(&module, 4);
  simmodule::setUeiBytes(device(), 37, 27, 4, {'P', '4'});
  ASSERT_EQ(aErrNone, port.getName(name, sizeof name, &count));
  EXPECT_EQ(2u, count);
  EXPECT_EQ((Bytes{37, 27 | 0x40, 4 | 0x20}), requests().at(0));
  simmodule::setUeiBytes(device(), 3, 31, 0, {7, 8, 9});
  ASSERT_EQ(aErrNone, system.getInputPowerBehaviorConfig(name, sizeof name, &count));
  EXPECT_EQ(3u, count);
  EXPECT_EQ(9, name[2]);
}

TEST_F(EntityMethods, PowerDataObjectAttributes) {
  uint8_t attributes = 0;
  EXPECT_EQ(aErrNone, PowerDeliveryClass::packDataObjectAttributes(&attributes, 1, 2, 63));
  EXPECT_EQ(0xFF, attributes);
  EXPECT_EQ(aErrNone, PowerDeliveryClass::packDataObjectAttributes(&attributes, 0, 1, 5));
  EXPECT_EQ(0x05, attributes);
  EXPECT_EQ(aErrParam, PowerDeliveryClass::packDataObjectAttributes(&attributes, 2, 1, 0));
  EXPECT_EQ(aErrParam, PowerDeliveryClass::packDataObjectAttributes(&attributes, 0, 3, 0));
  EXPECT_EQ(aErrParam, PowerDeliveryClass::packDataObjectAttributes(&attributes, 0, 0, 0));
  EXPECT_EQ(aErrParam, PowerDeliveryClass::packDataObjectAttributes(&attributes, 0, 1, 64));
  EXPECT_EQ(aErrParam, PowerDeliveryClass::packDataObjectAttributes(nullptr, 0, 1, 0));
  uint8_t partner, role, rule;
  EXPECT_EQ(aErrNone, PowerDeliveryClass::unpackDataObjectAttributes(0xC7, &partner, &role, &rule));
  EXPECT_EQ(1, partner);
  EXPECT_EQ(2, role);
  EXPECT_EQ(7, rule);
  EXPECT_EQ(aErrParam, PowerDeliveryClass::unpackDataObjectAttributes(0xC7, &partner, nullptr, &rule));
}

TEST_F(EntityMethods, PowerDataObjectRequestsCarryTheAttributeByte) {
  PowerDeliveryClass pd;
  pd.init(&module, 1);
  simmodule::setUeiValue(device(), 36, 1, 1, 0xC9, 4, 0x11223344);
  uint32_t pdo = 0;
  ASSERT_EQ(aErrNone, pd.getPowerDataObject(1, 2, 9, &pdo));
  EXPECT_EQ(0x11223344u, pdo);
  EXPECT_EQ((Bytes{36, 0x41, 0x21, 0xC9}), requests().at(0));
  ASSERT_EQ(aErrNone, pd.setPowerDataObject(1, 9, 0xA1B2C3D4));
  EXPECT_EQ((Bytes{36, 0x81, 0x21, 0x09, 0xA1, 0xB2, 0xC3, 0xD4}), requests().at(0));
  simmodule::setUeiValue(device(), 36, 3, 1, 0x82, 1, 1);
  uint8_t enabled = 0;
  ASSERT_EQ(aErrNone, pd.getPowerDataObjectEnabled(0, 2, 2, &enabled));
  EXPECT_EQ(1, enabled);
  EXPECT_EQ((Bytes{36, 0x43, 0x21, 0x82}), requests().at(0));
  ASSERT_EQ(aErrNone, pd.setPowerDataObjectEnabled(2, 2, 0));
  EXPECT_EQ((Bytes{36, 0x83, 0x21, 0x82, 0x00}), requests().at(0));
  simmodule::setUeiValue(device(), 36, 5, 1, 0x40, 1, 6);
  uint8_t count = 0;
  ASSERT_EQ(aErrNone, pd.getNumberOfPowerDataObjects(1, 1, &count));
  EXPECT_EQ(6, count);
  EXPECT_EQ((Bytes{36, 0x45, 0x21, 0x40}), requests().at(0));
  ASSERT_EQ(aErrNone, pd.resetPowerDataObjectToDefault(2, 3));
  EXPECT_EQ((Bytes{36, 0x8F, 0x21, 0x83}), requests().at(0));
  EXPECT_EQ(aErrParam, pd.getPowerDataObject(0, 1, 64, &pdo));
  EXPECT_EQ(aErrParam, pd.getPowerDataObject(0, 3, 1, &pdo));
  EXPECT_EQ(aErrParam, pd.setPowerDataObject(3, 1, 0));
  EXPECT_TRUE(requests().empty());
}

TEST_F(EntityMethods, AppExecuteWaitsForTheAnswer) {
  AppClass app;
  app.init(&module, 2);
  uint32_t answer = 0;
  ASSERT_EQ(aErrNone, app.execute(41, &answer, 1000));
  EXPECT_EQ(42u, answer);
  EXPECT_EQ((Bytes{5, 0x81, 0x22, 0, 0, 0, 41}), requests().at(0));
  // A stale answer queued before the call is dropped, not taken. The reply
  // of a get sent after it proves it has been queued.
  sim->sendPacket(simmodule::Packet::make(2, {5, 2, 2, 0, 0, 0, 7}));
  SystemClass system;
  system.init(&module, 0);
  uint32_t serial = 0;
  ASSERT_EQ(aErrNone, system.getSerialNumber(&serial));
  ASSERT_EQ(aErrNone, app.execute(99, &answer, 1000));
  EXPECT_EQ(100u, answer);
  EXPECT_EQ(aErrParam, app.execute(1, nullptr, 1000));
}

TEST_F(EntityMethods, StoreClassUsesTheStoreSlotProtocol) {
  StoreClass store;
  store.init(&module, 1);
  simmodule::setStoreSlot(device(), 1, 2, {}, 100);
  const uint8_t data[] = {1, 2, 3};
  ASSERT_EQ(aErrNone, store.loadSlot(2, data, 3));
  uint32_t size = 0, capacity = 0;
  EXPECT_EQ(aErrNone, store.getSlotSize(2, &size));
  EXPECT_EQ(3u, size);
  EXPECT_EQ(aErrNone, store.getSlotCapacity(2, &capacity));
  EXPECT_EQ(100u, capacity);
  uint8_t back[8];
  uint32_t count = 0;
  EXPECT_EQ(aErrNone, store.unloadSlot(2, sizeof back, back, &count));
  EXPECT_EQ(3u, count);
  EXPECT_EQ(0, std::memcmp(back, data, 3));
  EXPECT_EQ((Bytes{4, 4, 1, 2}), requests().at(0));
}

TEST_F(EntityMethods, I2CTransfers) {
  I2CClass i2c;
  i2c.init(&module, 1);
  EXPECT_EQ(aErrParam, i2c.setSpeed(4));
  EXPECT_EQ(aErrNone, i2c.setSpeed(2));
  uint8_t speed = 0;
  EXPECT_EQ(aErrNone, i2c.getSpeed(&speed));
  EXPECT_EQ(2, speed);
  uint8_t data[23] = {};
  EXPECT_EQ(aErrSize, i2c.read(0x50, 24, data));
  EXPECT_TRUE(requests().empty());
  ASSERT_EQ(aErrNone, i2c.read(0x50, 23, data));
  EXPECT_EQ((Bytes{8, 1, 0x51, 23, 2}), requests().at(0));
  EXPECT_EQ(0xA0, data[0]);
  EXPECT_EQ(0xA0 + 22, data[22]);
  const uint8_t out[] = {9, 8};
  ASSERT_EQ(aErrNone, i2c.write(0x50, 2, out));
  EXPECT_EQ((Bytes{8, 1, 0x50, 2, 2, 9, 8}), requests().at(0));
  ASSERT_EQ(aErrNone, i2c.setPullup(true));
  EXPECT_EQ((Bytes{8, 1, 1, 1}), requests().at(0));
  // Status byte with its top bit set carries the module's code; a short reply is a bad packet.
  simmodule::scriptReplies(device(), 8, {{8, 1, 1, 0, 0x80 | 13}});
  EXPECT_EQ(aErrRange, i2c.setPullup(false));
  simmodule::scriptReplies(device(), 8, {{8, 1, 1, 0}});
  EXPECT_EQ(aErrPacket, i2c.setPullup(false));
  // A read reply claiming more data than it carries is refused.
  simmodule::scriptReplies(device(), 8, {{8, 1, 0x51, 4, 0, 1, 2}});
  EXPECT_EQ(aErrPacket, i2c.read(0x50, 4, data));
  i2c.init(&module, 1);
  EXPECT_EQ(aErrNone, i2c.getSpeed(&speed));
  EXPECT_EQ(0, speed);
}
