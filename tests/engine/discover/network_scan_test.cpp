// The scan behind a routing module against a simulated router with modules
// at some addresses: present modules are listed in address order with their
// version, build and model; modules that answer the serial-number question
// with an error, that never answer, and empty addresses are left out; a
// module whose later reads fail is listed with the error.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "DeviceList.h"
#include "Kelvarion.h"
#include "NetworkScan.h"
#include "SimDevice.h"
#include "SimModule.h"
#include "platform/socket.h"

namespace {

using Mirovane::Kelvarion::Module;

const uint32_t kRouterSerial = 0xD272031D;

simmodule::ModuleConfig moduleAt(uint8_t address, uint32_t serial, uint8_t model, uint32_t firmware, uint32_t build) {
  simmodule::ModuleConfig config;
  config.address = address;
  config.serialNumber = serial;
  config.model = model;
  config.firmwareVersion = firmware;
  config.build = build;
  return config;
}

class NetworkScan : public ::testing::Test {
 protected:
  void SetUp() override {
    simmodule::EndpointConfig endpoint;
    endpoint.heartbeatMs = 0;
    sim.reset(new simmodule::Simulator(moduleAt(2, kRouterSerial, 4, 0x12000003, 77), endpoint));
    sim->addModule(moduleAt(6, 0x0000ABCD, 19, 0x20000005, 99));
    sim->addModule(moduleAt(252, 0x11110000, 13, 0x31000000, 5));
    // Answers the serial-number question with an error: not listed.
    simmodule::setUeiError(sim->addModule(moduleAt(10, 0x0BAD0010, 19, 0, 0)), 3, 9, simmodule::kErrNotFound);
    // Never answers anything: not listed.
    sim->addModule(moduleAt(14, 0x0BAD0014, 19, 0, 0)).onCommand(3, [](simmodule::Module&, const simmodule::Packet&) {});
    // Answers its serial number but not its version: listed with the error.
    simmodule::setUeiError(sim->addModule(moduleAt(40, 0x00000040, 6, 0, 41)), 3, 7, simmodule::kErrInvalidOption);
    ASSERT_TRUE(sim->listenTcp(platform::ipv4Loopback(), 0));
    ASSERT_TRUE(sim->start());
    spec.type = LINKTYPE_TCPIP;
    spec.serialNumber = kRouterSerial;
    spec.ipAddress = platform::ipv4Loopback();
    spec.ipPort = sim->tcpPort();
    ASSERT_EQ(aErrNone, router.connectFromSpec(spec));
  }
  void TearDown() override {
    router.disconnect();
    sim->stop();
  }

  std::unique_ptr<simmodule::Simulator> sim;
  linkSpec spec{};
  Module router{2};
};

struct Expected {
  uint32_t serial;
  uint8_t module;
  uint8_t model;
  uint8_t major, minor;
  uint32_t patch;
  uint32_t build;
  aErr error;
};

TEST_F(NetworkScan, ListsWhatAnswersInAddressOrder) {
  const std::vector<DeviceListEntry> entries = listNetworkModules(router, spec, kRouterSerial);
  const std::vector<Expected> expected = {
      {kRouterSerial, 2, 4, 1, 2, 3, 77, aErrNone},
      {0x0000ABCD, 6, 19, 2, 0, 5, 99, aErrNone},
      {0x00000040, 40, 6, 0, 0, 0, 41, aErrInvalidOption},
      {0x11110000, 252, 13, 3, 1, 0, 5, aErrNone},
  };
  ASSERT_EQ(expected.size(), entries.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    const DeviceListEntry& e = entries[i];
    EXPECT_EQ(expected[i].serial, e.spec.serialNumber);
    EXPECT_EQ(LINKTYPE_TCPIP, e.spec.type);
    EXPECT_EQ(kRouterSerial, e.spec.routerSerialNumber);
    EXPECT_EQ(spec.ipPort, e.spec.ipPort);
    EXPECT_EQ(expected[i].build, e.build);
    EXPECT_EQ(expected[i].error, e.error);
    EXPECT_EQ(expected[i].model, e.spec.model);
    EXPECT_EQ(std::string(aDefs_GetModelName(expected[i].model)), e.modelName);
    if (expected[i].error == aErrNone) {
      EXPECT_EQ(expected[i].module, e.spec.module);
      EXPECT_EQ(2, e.spec.router);
      EXPECT_EQ(expected[i].major, e.versionMajor);
      EXPECT_EQ(expected[i].minor, e.versionMinor);
      EXPECT_EQ(expected[i].patch, e.versionPatch);
    }
  }
}

// Many modules answering together are all collected, none lost to the
// queue's limits, and the scan leaves no answer behind on the link.
TEST_F(NetworkScan, ManyModulesAnsweringAtOnceAreAllCollected) {
  sim->configure([&] {
    for (unsigned address = 60; address <= 200; address += 2)
      sim->addModule(moduleAt(static_cast<uint8_t>(address), 0xA0000000u + address, 19, 0x10000001, 1));
  });
  const std::vector<NetworkAnswer> answers = askNetworkSerialNumbers(*router.getLink(), 2, 252, 1000);
  std::vector<uint8_t> addresses;
  for (const NetworkAnswer& answer : answers) {
    addresses.push_back(answer.address);
    if (answer.address >= 60 && answer.address <= 200) {
      EXPECT_EQ(0xA0000000u + answer.address, answer.serialNumber);
    }
  }
  std::vector<uint8_t> expected = {2, 6, 40};
  for (unsigned address = 60; address <= 200; address += 2) expected.push_back(static_cast<uint8_t>(address));
  expected.push_back(252);
  EXPECT_EQ(expected, addresses);
  // A later exchange on the link is not confused by leftovers.
  EXPECT_EQ(77u, readBuildNumber(router));
}

}  // namespace
