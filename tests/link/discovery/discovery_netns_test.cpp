// TCP/IP discovery against in-process responders, inside an isolated network
// namespace (see tests/netns/run_in_netns.sh). Outside one the tests skip.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "FakeDiscoveryPeer.h"
#include "aDiscovery.h"
#include "netns_guard.h"
#include "platform/udp.h"

namespace {

uint32_t ipv4(uint8_t a, uint8_t b, uint8_t c, uint8_t d) { return testIpv4(a, b, c, d); }

std::vector<uint8_t> answer(uint8_t module, uint16_t port, uint32_t serial, uint8_t model) {
  return discoveryAnswer(module, port, serial, model);
}

using Responder = FakeDiscoveryPeer;

bool collect(const linkSpec* spec, bool* found, void* ref) {
  static_cast<std::vector<linkSpec>*>(ref)->push_back(*spec);
  *found = true;
  return true;
}

struct TcpipDiscovery : ::testing::Test {
  void SetUp() override {
    if (!inIsolatedNetworkNamespace()) GTEST_SKIP() << "needs an isolated network namespace";
  }
};

}  // namespace

TEST_F(TcpipDiscovery, AnswersBecomeLinkSpecsAndStrangersAreDropped) {
  std::vector<uint8_t> shortAnswer = answer(4, 9000, 0x1111, 4);
  shortAnswer.resize(15);
  Responder responder({answer(2, 0x1F5F, 0x12345678, 19), shortAnswer,
                       answer(3, 9000, 0x2222, 4),  // odd module address: no module's answer
                       answer(6, 8000, 0xCAFE0001, 5)});
  std::vector<linkSpec> found;
  EXPECT_EQ(2, aDiscovery_EnumerateModules(LINKTYPE_TCPIP, collect, &found));
  ASSERT_EQ(2u, found.size());
  EXPECT_EQ(LINKTYPE_TCPIP, found[0].type);
  EXPECT_EQ(0x12345678u, found[0].serialNumber);
  EXPECT_EQ(0x12345678u, found[0].routerSerialNumber);
  EXPECT_EQ(2u, found[0].module);
  EXPECT_EQ(2u, found[0].router);
  EXPECT_EQ(8031u, found[0].ipPort);
  EXPECT_EQ(19u, found[0].model);
  EXPECT_EQ(ipv4(10, 77, 0, 1), found[0].ipAddress);
  EXPECT_EQ(0xCAFE0001u, found[1].serialNumber);
  // One request went out: the only interface other than 127.0.0.1.
  EXPECT_EQ(1, responder.requests());
}

TEST_F(TcpipDiscovery, FindModuleBySerialNumber) {
  Responder responder({answer(2, 8000, 0x100, 4), answer(4, 8001, 0x200, 5)});
  linkSpec* spec = aDiscovery_FindModule(LINKTYPE_TCPIP, 0x200);
  ASSERT_NE(nullptr, spec);
  EXPECT_EQ(8001u, spec->ipPort);
  EXPECT_EQ(4u, spec->module);
  aLinkSpec_Destroy(&spec);
  EXPECT_EQ(nullptr, aDiscovery_FindModule(LINKTYPE_TCPIP, 0x300));
  spec = aDiscovery_FindFirstModule(LINKTYPE_TCPIP);
  ASSERT_NE(nullptr, spec);
  EXPECT_EQ(0x100u, spec->serialNumber);
  aLinkSpec_Destroy(&spec);
}

TEST_F(TcpipDiscovery, NoAnswersFindsNothing) {
  std::vector<linkSpec> found;
  EXPECT_EQ(0, aDiscovery_EnumerateModules(LINKTYPE_TCPIP, collect, &found));
  EXPECT_TRUE(found.empty());
}
