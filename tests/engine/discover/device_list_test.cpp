// The -D command's discovery and read-backs: discoverDevices over a USB
// module that cannot be opened or may not be opened, readBuildNumber and
// readVersion against the simulated module.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "DeviceList.h"
#include "FakeUsbDevices.h"
#include "Kelvarion.h"
#include "Listings.h"
#include "RecordingDisplay.h"
#include "SimDevice.h"
#include "SimModule.h"
#include "UpdaterApp.h"
#include "UpdaterDisplay.h"
#include "platform/socket.h"
#include "platform/usb.h"

TEST(DeviceList, UsbModuleThatCannotBeOpenedGetsItsErrorLine) {
  FakeUsbDevices bus;
  bus.devices = {FakeUsbDevices::device(0x3A7C, 0x0013, "0012ABCD")};
  RecordingDisplay display;
  UpdaterApp app("http://127.0.0.1:1", "/tmp", &display);
  std::vector<DeviceListEntry> entries = app.discoverDevices(LINKTYPE_USB);
  ASSERT_EQ(1u, entries.size());
  EXPECT_EQ("Ironwood", entries[0].modelName);
  EXPECT_EQ(aErrConnection, entries[0].error);
  printDeviceList(&display, entries, LINKTYPE_USB);
  EXPECT_EQ("    0012ABCD  [Error (25): Is someone else connected to this device?]", display.printed("error: ").back());
  // No transport at all finds nothing.
  EXPECT_TRUE(app.discoverDevices(255).empty());
}

TEST(DeviceList, UsbModuleWithoutPermissionIsReportedWithTheFix) {
  FakeUsbDevices bus;
  bus.devices = {FakeUsbDevices::device(0x3A7C, 0x0013, "", true, true)};
  RecordingDisplay display;
  UpdaterApp app("http://127.0.0.1:1", "/tmp", &display);
  EXPECT_EQ(0, runDiscoverCommand(app, &display, 0, LINKTYPE_USB));
  const std::vector<std::string> lines = display.printed("error: ");
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
