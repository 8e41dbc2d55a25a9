// Model names, linkSpec records and the USB walk, with made-up device lists.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "FakeUsbDevices.h"
#include "aDiscovery.h"
#include "internal/aDiscoveryInternal.h"
#include "platform/usb.h"

namespace {

platform::UsbDeviceInfo usbDevice(uint16_t vendor, uint16_t product, const char* serial,
                                  bool linkInterface = true) {
  return FakeUsbDevices::device(vendor, product, serial, linkInterface);
}

// Discovery walks the made-up devices of the fixture's bus.
struct FakeUSB : ::testing::Test {
  FakeUsbDevices bus;
};

struct Collected {
  std::vector<linkSpec> specs;
  size_t stopAfter = 1000;
  bool markFound = true;
};

bool collect(const linkSpec* spec, bool* found, void* ref) {
  Collected* c = static_cast<Collected*>(ref);
  c->specs.push_back(*spec);
  *found = c->markFound;
  return c->specs.size() < c->stopAfter;
}

}  // namespace

TEST(ModelName, KnownAndUnknownModels) {
  EXPECT_STREQ("Alder", aDefs_GetModelName(4));
  EXPECT_STREQ("Birch", aDefs_GetModelName(5));
  EXPECT_STREQ("Cedar", aDefs_GetModelName(13));
  EXPECT_STREQ("Ironwood", aDefs_GetModelName(19));
  EXPECT_STREQ("Nutmeg", aDefs_GetModelName(24));
  for (int unknown : {0, 6, 12, 25, 255, -1}) EXPECT_STREQ("Unknown", aDefs_GetModelName(unknown));
}

TEST(LinkSpec, CreateCopyDestroy) {
  linkSpec* spec = aLinkSpec_Create(LINKTYPE_TCPIP);
  ASSERT_NE(nullptr, spec);
  EXPECT_EQ(LINKTYPE_TCPIP, spec->type);
  EXPECT_EQ(0u, spec->serialNumber + spec->module + spec->router + spec->routerSerialNumber +
                    spec->model + spec->ipAddress + spec->ipPort);
  spec->serialNumber = 0x1234;
  spec->ipPort = 8000;
  linkSpec* copy = aLinkSpec_Copy(*spec);
  ASSERT_NE(nullptr, copy);
  EXPECT_EQ(0, std::memcmp(spec, copy, sizeof(linkSpec)));
  EXPECT_EQ(aErrNone, aLinkSpec_Destroy(&spec));
  EXPECT_EQ(nullptr, spec);
  EXPECT_EQ(aErrParam, aLinkSpec_Destroy(&spec));
  EXPECT_EQ(aErrParam, aLinkSpec_Destroy(nullptr));
  EXPECT_EQ(aErrNone, aLinkSpec_Destroy(&copy));
  EXPECT_EQ(32u, sizeof(linkSpec));
}

TEST(USBSerial, ReadsHexadecimalOnly) {
  uint32_t serial = 0;
  EXPECT_TRUE(aDiscovery_ParseUSBSerial("0012ABCD", &serial));
  EXPECT_EQ(0x0012ABCDu, serial);
  EXPECT_TRUE(aDiscovery_ParseUSBSerial("ff", &serial));
  EXPECT_EQ(0xFFu, serial);
  for (const char* bad : {"", "123456789", "12 34", "0x12", "XYZ", "-1"})
    EXPECT_FALSE(aDiscovery_ParseUSBSerial(bad, &serial)) << bad;
}

TEST_F(FakeUSB, ModuleGivesSerialAndModelFromProduct) {
  bus.devices = {usbDevice(0x3A7C, 0x0013, "0012ABCD")};
  Collected c;
  EXPECT_EQ(1, aDiscovery_EnumerateModules(LINKTYPE_USB, collect, &c));
  ASSERT_EQ(1u, c.specs.size());
  const linkSpec& s = c.specs[0];
  EXPECT_EQ(LINKTYPE_USB, s.type);
  EXPECT_EQ(0x0012ABCDu, s.serialNumber);
  EXPECT_EQ(19u, s.model);
  EXPECT_STREQ("Ironwood", aDefs_GetModelName(static_cast<int>(s.model)));
  EXPECT_EQ(0x0012ABCDu, s.usbId);
  EXPECT_EQ(0u, s.module + s.router + s.routerSerialNumber + s.ipPort);
}

TEST_F(FakeUSB, SkipsOtherDevicesAndReportsEachSerialOnce) {
  bus.devices = {
      usbDevice(0x1234, 0x0013, "00000001"),         // another vendor
      usbDevice(0x3A7C, 0x0013, "00000002", false),  // no link interface
      usbDevice(0x3A7C, 0x0113, "00000003"),         // product outside 0x00NN
      usbDevice(0x3A7C, 0x0004, "not-hex"),          // unreadable serial number
      usbDevice(0x3A7C, 0x0004, "00000010"),
      usbDevice(0x3A7C, 0x0005, "00000011"),
      usbDevice(0x3A7C, 0x0004, "00000010"),  // the first module's second interface
  };
  Collected c;
  EXPECT_EQ(2, aDiscovery_EnumerateModules(LINKTYPE_USB, collect, &c));
  ASSERT_EQ(2u, c.specs.size());
  EXPECT_EQ(0x10u, c.specs[0].serialNumber);
  EXPECT_EQ(4u, c.specs[0].model);
  EXPECT_EQ(0x11u, c.specs[1].serialNumber);
}

TEST_F(FakeUSB, TableHoldsAtMost128Modules) {
  for (int i = 1; i <= 130; ++i) {
    char serial[16];
    std::snprintf(serial, sizeof serial, "%X", i);
    bus.devices.push_back(usbDevice(0x3A7C, 0x0004, serial));
  }
  Collected c;
  EXPECT_EQ(128, aDiscovery_EnumerateModules(LINKTYPE_USB, collect, &c));
  ASSERT_EQ(128u, c.specs.size());
  EXPECT_EQ(128u, c.specs.back().serialNumber);
}

TEST_F(FakeUSB, CallbackControlsCountAndStop) {
  bus.devices = {usbDevice(0x3A7C, 4, "1"), usbDevice(0x3A7C, 4, "2"), usbDevice(0x3A7C, 4, "3")};
  Collected stopping;
  stopping.stopAfter = 2;
  EXPECT_EQ(2, aDiscovery_EnumerateModules(LINKTYPE_USB, collect, &stopping));
  EXPECT_EQ(2u, stopping.specs.size());
  Collected looking;
  looking.markFound = false;
  EXPECT_EQ(0, aDiscovery_EnumerateModules(LINKTYPE_USB, collect, &looking));
  EXPECT_EQ(3u, looking.specs.size());
}

TEST_F(FakeUSB, OtherTypesFindNothing) {
  bus.devices = {usbDevice(0x3A7C, 4, "1")};
  for (int type : {0, 3, 255}) {
    Collected c;
    EXPECT_EQ(0, aDiscovery_EnumerateModules(static_cast<linkType>(type), collect, &c));
    EXPECT_TRUE(c.specs.empty());
    EXPECT_EQ(nullptr, aDiscovery_FindFirstModule(static_cast<linkType>(type)));
  }
}

TEST_F(FakeUSB, FindModuleBySerialAndFirstNonZero) {
  bus.devices = {usbDevice(0x3A7C, 4, "0"), usbDevice(0x3A7C, 5, "ABC"), usbDevice(0x3A7C, 13, "DEF")};
  linkSpec* spec = aDiscovery_FindModule(LINKTYPE_USB, 0xDEF);
  ASSERT_NE(nullptr, spec);
  EXPECT_EQ(13u, spec->model);
  aLinkSpec_Destroy(&spec);
  EXPECT_EQ(nullptr, aDiscovery_FindModule(LINKTYPE_USB, 0x999));
  spec = aDiscovery_FindFirstModule(LINKTYPE_USB);
  ASSERT_NE(nullptr, spec);
  EXPECT_EQ(0xABCu, spec->serialNumber);
  aLinkSpec_Destroy(&spec);
}

TEST_F(FakeUSB, NoDevicesFindsNothing) {
  Collected c;
  EXPECT_EQ(0, aDiscovery_EnumerateModules(LINKTYPE_USB, collect, &c));
  EXPECT_EQ(nullptr, aDiscovery_FindFirstModule(LINKTYPE_USB));
}

// The table's own rules, whatever the platform's walk lets through.
TEST(USBModuleTable, EntersOnlyTheMakersLinkDevicesOncePerSerial) {
  aUSBModuleTable table;
  const platform::UsbDeviceInfo refused[] = {
      usbDevice(0x1234, 4, "1"), usbDevice(0x0000, 4, "1"), usbDevice(0x3A7C, 4, "1", false),
      usbDevice(0x3A7C, 0x100, "1"), usbDevice(0x3A7C, 4, ""), usbDevice(0x3A7C, 4, "123456789")};
  for (const platform::UsbDeviceInfo& device : refused) EXPECT_FALSE(aDiscovery_AddUSBDevice(&table, &device));
  EXPECT_EQ(0u, table.count);
  const platform::UsbDeviceInfo first = usbDevice(0x3A7C, 4, "1A"), again = usbDevice(0x3A7C, 9, "1a");
  EXPECT_TRUE(aDiscovery_AddUSBDevice(&table, &first));
  EXPECT_TRUE(aDiscovery_AddUSBDevice(&table, &again));
  ASSERT_EQ(1u, table.count);
  EXPECT_EQ(0x1Au, table.entries[0].serialNumber);
  EXPECT_EQ(9u, table.entries[0].model);
  EXPECT_FALSE(aDiscovery_AddUSBDevice(nullptr, &first));
  EXPECT_FALSE(aDiscovery_AddUSBDevice(&table, nullptr));
}

TEST(DiscoveryAnswer, DecodesFields) {
  uint8_t answer[16] = {0, 6, 0x5F, 0x1F, 0x78, 0x56, 0x34, 0x12, 0, 0, 0, 0, 19, 0, 0, 0};
  const uint8_t from[4] = {10, 77, 0, 5};
  uint32_t fromAddress;
  std::memcpy(&fromAddress, from, 4);
  linkSpec s;
  ASSERT_TRUE(aDiscovery_DecodeAnswer(answer, sizeof answer, fromAddress, &s));
  EXPECT_EQ(LINKTYPE_TCPIP, s.type);
  EXPECT_EQ(6u, s.module);
  EXPECT_EQ(6u, s.router);
  EXPECT_EQ(8031u, s.ipPort);
  EXPECT_EQ(0x12345678u, s.serialNumber);
  EXPECT_EQ(0x12345678u, s.routerSerialNumber);
  EXPECT_EQ(19u, s.model);
  EXPECT_EQ(fromAddress, s.ipAddress);
}

TEST(DiscoveryAnswer, DropsShortAnswersAndStrangers) {
  uint8_t answer[16] = {0, 6, 0x5F, 0x1F, 1, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0};
  linkSpec s;
  EXPECT_FALSE(aDiscovery_DecodeAnswer(answer, 15, 0x0100000A, &s));
  EXPECT_FALSE(aDiscovery_DecodeAnswer(answer, 0, 0x0100000A, &s));
  EXPECT_FALSE(aDiscovery_DecodeAnswer(answer, 16, 0, &s));
  answer[1] = 7;
  EXPECT_FALSE(aDiscovery_DecodeAnswer(answer, 16, 0x0100000A, &s));
  answer[1] = 0;
  EXPECT_FALSE(aDiscovery_DecodeAnswer(answer, 16, 0x0100000A, &s));
}

TEST(DiscoveryRequest, SixteenBytesFirstIsOne) {
  uint8_t request[16];
  std::memset(request, 0xAA, sizeof request);
  aDiscovery_MakeRequest(request);
  EXPECT_EQ(1, request[0]);
  for (int i = 1; i < 16; ++i) EXPECT_EQ(0, request[i]);
}

// ---- Devices this user may not open, through the platform's USB table --------

namespace {

platform::UsbDeviceInfo busDevice(uint16_t vendor, const char* serial, bool denied) {
  return FakeUsbDevices::device(vendor, 0x0013, serial, true, denied);
}

struct DeniedUSB : ::testing::Test {
  FakeUsbDevices bus;
};

}  // namespace

TEST_F(DeniedUSB, ModulesThatCannotBeOpenedAreCountedNotListed) {
  bus.devices = {busDevice(0x3A7C, "", true), busDevice(0x3A7C, "0012ABCD", false), busDevice(0x3A7C, "", true),
                 busDevice(0x1FC9, "", true)};
  Collected c;
  EXPECT_EQ(1, aDiscovery_EnumerateModules(LINKTYPE_USB, collect, &c));
  ASSERT_EQ(1u, c.specs.size());
  EXPECT_EQ(0x0012ABCDu, c.specs[0].serialNumber);
  // Another vendor's device is none of ours, denied or not.
  EXPECT_EQ(2, aDiscovery_CountDeniedUSBModules());
}

TEST_F(DeniedUSB, NothingDeniedCountsNothing) {
  EXPECT_EQ(0, aDiscovery_CountDeniedUSBModules());
  bus.devices = {busDevice(0x3A7C, "0012ABCD", false)};
  EXPECT_EQ(0, aDiscovery_CountDeniedUSBModules());
}
