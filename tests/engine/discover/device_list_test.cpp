// The -D listing and its read-backs: printDeviceList line by line,
// readBuildNumber and readVersion against the simulated module, and
// discoverDevices over a USB module that cannot be opened.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "DeviceList.h"
#include "Kelvarion.h"
#include "Listings.h"
#include "RecordingDisplay.h"
#include "SimDevice.h"
#include "SimModule.h"
#include "UpdaterApp.h"
#include "UpdaterDisplay.h"
#include "internal/aDiscoveryInternal.h"
#include "platform/socket.h"
#include "platform/usb.h"

namespace {

// Every line the program printed, in order, errors marked "error: ".
std::vector<std::string> printed(const RecordingDisplay& display) {
  std::vector<std::string> lines;
  for (const std::string& line : display.lines)
    lines.push_back((line.compare(0, 2, "E:") == 0 ? "error: " : "") + line.substr(2));
  return lines;
}

DeviceListEntry entry(linkType type, uint32_t serial, uint8_t module, uint8_t router, uint8_t model,
                      uint32_t version, uint32_t build) {
  DeviceListEntry e;
  e.spec.type = type;
  e.spec.serialNumber = serial;
  e.spec.module = module;
  e.spec.router = router;
  e.spec.model = model;
  const uint8_t ip[4] = {192, 168, 7, 31};
  if (type == LINKTYPE_TCPIP) std::memcpy(&e.spec.ipAddress, ip, 4);
  e.versionMajor = static_cast<uint8_t>(version >> 28);
  e.versionMinor = static_cast<uint8_t>((version >> 24) & 0xF);
  e.versionPatch = version & 0xFFFFFF;
  e.build = build;
  return e;
}

}  // namespace

TEST(DeviceList, UsbListing) {
  RecordingDisplay display;
  DeviceListEntry failed = entry(LINKTYPE_USB, 0x0012ABCD, 0, 0, 19, 0, 0);
  failed.error = aErrConnection;
  printDeviceList(&display, {entry(LINKTYPE_USB, 0x40F5849A, 2, 2, 19, 0x2300002A, 4711), failed,
                             entry(LINKTYPE_USB, 0xDEAD0001, 4, 2, 25, 0x10000001, 0)},
                  LINKTYPE_USB);
  std::vector<std::string> expected = {
      "Discovered Devices: (USB)",
      "    Device    Module   Router  Model          Firmware Version (Build)",
      "    40F5849A  02       02      Ironwood       2.3.42 (4711)",
      "    0012ABCD  [Error (25): Is someone else connected to this device?]",
      "    DEAD0001  04       02      Unknown        1.0.1 (0)",
  };
  EXPECT_EQ(expected, printed(display));
}

TEST(DeviceList, TcpipRowKeepsItsLayoutAndTheFailedReadGoesToTheErrorStream) {
  RecordingDisplay display;
  DeviceListEntry e = entry(LINKTYPE_TCPIP, 0x1234, 6, 6, 5, 0xA100FFFF, 123456);
  e.error = aErrTimeout;
  e.unread = "the router address could not be read";
  DeviceListEntry silent = entry(LINKTYPE_TCPIP, 0x5678, 0, 0, 5, 0, 0);
  silent.error = aErrConnection;
  silent.unread = "the connection could not be made";
  DeviceListEntry noBuild = entry(LINKTYPE_TCPIP, 0x9ABC, 2, 2, 5, 0x10000001, 0);
  noBuild.unread = "the build number could not be read";
  printDeviceList(&display, {e, silent, noBuild}, LINKTYPE_TCPIP);
  std::vector<std::string> expected = {
      "Discovered Devices: (TCPIP)",
      "    Device    Module   Router  Model          Firmware Version (Build)   [IP address]",
      "    00001234  06       06      Birch         10.1.65535 (123456) [192.168.7.31]",
      "error: Module 00001234 [192.168.7.31]: the router address could not be read (aErrTimeout)",
      "    00005678  00       00      Birch          0.0.0 (0) [192.168.7.31]",
      "error: Module 00005678 [192.168.7.31]: the connection could not be made (aErrConnection)",
      "    00009ABC  02       02      Birch          1.0.1 (0) [192.168.7.31]",
      "error: Module 00009ABC [192.168.7.31]: the build number could not be read",
  };
  EXPECT_EQ(expected, printed(display));
}

TEST(DeviceList, EmptyListings) {
  for (int type : {1, 2, 0, 255}) {
    RecordingDisplay display;
    printDeviceList(&display, {}, type);
    const char* name = type == 1 ? "USB" : type == 2 ? "TCPIP" : "Unknown";
    const std::vector<std::string> lines = printed(display);
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(std::string("Discovered Devices: (") + name + ")", lines[0]);
    EXPECT_EQ("    No devices found.", lines[1]);
  }
}

namespace {

void oneUsbModule(std::vector<aUSBDeviceInfo>& devices) {
  aUSBDeviceInfo d;
  d.vendor = 0x3A7C;
  d.product = 0x0013;
  d.linkInterface = true;
  std::strcpy(d.serial, "0012ABCD");
  devices.push_back(d);
}

}  // namespace

TEST(DeviceList, UsbModuleThatCannotBeOpenedGetsItsErrorLine) {
  aUSBDeviceLister previous = aDiscovery_SetUSBLister(oneUsbModule);
  RecordingDisplay display;
  UpdaterApp app("http://127.0.0.1:1", "/tmp", &display);
  std::vector<DeviceListEntry> entries = app.discoverDevices(LINKTYPE_USB);
  aDiscovery_SetUSBLister(previous);
  ASSERT_EQ(1u, entries.size());
  EXPECT_EQ("Ironwood", entries[0].modelName);
  EXPECT_EQ(aErrConnection, entries[0].error);
  printDeviceList(&display, entries, LINKTYPE_USB);
  EXPECT_EQ("    0012ABCD  [Error (25): Is someone else connected to this device?]", printed(display).back());
  // No transport at all finds nothing.
  EXPECT_TRUE(app.discoverDevices(255).empty());
}

namespace {

// A bus with one module whose device this user may not open.
bool deniedModuleBus(uint16_t, platform::UsbVisit visit, void* ref) {
  platform::UsbDeviceInfo d;
  std::memset(&d, 0, sizeof d);
  d.vendorId = 0x3A7C;
  d.productId = 0x0013;
  d.hasLinkInterface = true;
  d.permissionDenied = true;
  visit(&d, ref);
  return true;
}

const platform::UsbOps kDeniedModuleBus = {deniedModuleBus, nullptr, nullptr, nullptr, nullptr};

}  // namespace

TEST(DeviceList, UsbModuleWithoutPermissionIsReportedWithTheFix) {
  platform::usbSetOps(&kDeniedModuleBus);
  RecordingDisplay display;
  UpdaterApp app("http://127.0.0.1:1", "/tmp", &display);
  EXPECT_EQ(0, runDiscoverCommand(app, &display, 0, LINKTYPE_USB));
  platform::usbSetOps(nullptr);
  const std::vector<std::string> lines = printed(display);
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ("    No devices found.", lines[lines.size() - 3]);
  EXPECT_EQ("error: 1 Kelvarion USB module(s) present that this user may not open (permission denied).",
            lines[lines.size() - 2]);
  EXPECT_NE(std::string::npos, lines.back().find("60-kelvarion.rules"));
}

class ReadBack : public ::testing::Test {
 protected:
  void SetUp() override {
    simmodule::ModuleConfig config;
    config.serialNumber = 0x40F5849A;
    config.address = 4;
    config.firmwareVersion = 0x2300002A;
    config.build = 4711;
    simmodule::EndpointConfig endpoint;
    endpoint.heartbeatMs = 0;
    sim.reset(new simmodule::Simulator(config, endpoint));
    ASSERT_TRUE(sim->listenTcp(platform::ipv4Loopback(), 0));
    ASSERT_TRUE(sim->start());
    linkSpec spec{};
    spec.type = LINKTYPE_TCPIP;
    spec.ipAddress = platform::ipv4Loopback();
    spec.ipPort = sim->tcpPort();
    ASSERT_EQ(aErrNone, module.connectFromSpec(spec));
  }
  void TearDown() override {
    module.disconnect();
    sim->stop();
  }
  std::unique_ptr<simmodule::Simulator> sim;
  Mirovane::Kelvarion::Module module{2};
};

TEST_F(ReadBack, BuildNumberAndVersion) {
  EXPECT_EQ(4711u, readBuildNumber(module));
  DeviceListEntry e;
  ASSERT_EQ(aErrNone, readVersion(module, e));
  EXPECT_EQ(2, e.versionMajor);
  EXPECT_EQ(3, e.versionMinor);
  EXPECT_EQ(42u, e.versionPatch);
  EXPECT_EQ(4u, e.spec.module);
  EXPECT_EQ(4u, e.spec.router);
  std::vector<simmodule::Packet> sent = simmodule::takeRequests(sim->primary());
  ASSERT_GE(sent.size(), 1u);
  EXPECT_EQ(2, sent[0].length);
  EXPECT_EQ(0x49, sent[0].data[0]);
  EXPECT_EQ(0xFF, sent[0].data[1]);
}

TEST_F(ReadBack, BuildReplyOfTheWrongLengthGivesZero) {
  simmodule::scriptReplies(sim->primary(), 0x49, {{0x49, 0xFF, 0, 0, 1}});
  EXPECT_EQ(0u, readBuildNumber(module));
  simmodule::scriptReplies(sim->primary(), 0x49, {{0x49, 0xFF, 0, 0, 1, 2, 3}});
  EXPECT_EQ(0u, readBuildNumber(module));
  EXPECT_EQ(4711u, readBuildNumber(module));
}

TEST_F(ReadBack, FirstFailingReadEndsTheVersion) {
  simmodule::setUeiError(sim->primary(), 3, 1, aErrPermission);
  DeviceListEntry e;
  EXPECT_EQ(aErrPermission, readVersion(module, e));
  EXPECT_EQ(2, e.versionMajor);
  EXPECT_EQ(0u, e.spec.module);
  EXPECT_EQ(0u, e.spec.router);
}
