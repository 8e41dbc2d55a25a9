// The packet link against the simulated module, over TCP loopback and over
// a pseudo-terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "LinkTestSupport.h"
#include "SimModule.h"
#include "aLink.h"
#include "platform/socket.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using simmodule::Stats;

const uint32_t kLoopback = platform::ipv4Loopback();
const uint8_t kModuleAddress = 6;

uint8_t isAddressAnswer(const aPacket* packet, const void*) { return packet->dataSize == 0; }

// Asks the module for its address (an empty packet to 0xAD) and returns the
// answer's address, 0 when none came.
uint8_t queryAddress(aLinkRef link) {
  aPacket* query = aPacket_CreateWithData(0xAD, 0, nullptr);
  aErr err = aLink_PutPacket(link, query);
  aPacket_Destroy(&query);
  if (err != aErrNone) return 0;
  aPacket* answer = aLink_AwaitFirst(link, isAddressAnswer, nullptr, 5000);
  if (!answer) return 0;
  uint8_t address = answer->address;
  aPacket_Destroy(&answer);
  return address;
}

simmodule::ModuleConfig moduleConfig() {
  simmodule::ModuleConfig config;
  config.address = kModuleAddress;
  return config;
}

enum class Transport { Tcp, Pty };

class SimLink : public ::testing::TestWithParam<Transport> {
 protected:
  void SetUp() override {
    simmodule::EndpointConfig endpoint;
    endpoint.heartbeatMs = 0;
    sim = std::make_unique<simmodule::Simulator>(moduleConfig(), endpoint);
    if (GetParam() == Transport::Tcp) {
      ASSERT_TRUE(sim->listenTcp(kLoopback, 0));
      ASSERT_TRUE(sim->start());
      link = aLink_CreateTCPIP(kLoopback, sim->tcpPort());
    } else {
      ASSERT_TRUE(sim->openPty());
      ASSERT_TRUE(sim->start());
      aStreamRef stream = nullptr;
      ASSERT_EQ(aStream_CreateSerial(sim->ptyPath().c_str(), aSERIAL_BAUD_115200, 0, 0, 0, &stream), aErrNone);
      link = aLink_Create(stream);
    }
    ASSERT_NE(link, 0u);
    ASSERT_TRUE(waitStatus(link, LINK_RUNNING));
  }
  void TearDown() override {
    if (link) aLink_Destroy(&link);
    sim->stop();
  }
  bool waitStats(bool (*done)(const Stats&), uint32_t timeoutMs = 10000) {
    return sim->waitFor([done](const Stats& s) { return done(s); }, timeoutMs);
  }

  std::unique_ptr<simmodule::Simulator> sim;
  aLinkRef link = 0;
};

TEST_P(SimLink, ConversationOpensWithStartAndClosesWithStop) {
  ASSERT_TRUE(sim->waitForReceived([](const Bytes& r) { return r.size() >= 3; }, 10000));
  const Bytes first = sim->received();
  EXPECT_EQ(Bytes(first.begin(), first.begin() + 3), (Bytes{0xAF, 0x01, 0x01}));
  EXPECT_EQ(queryAddress(link), kModuleAddress);
  EXPECT_EQ(queryAddress(link), kModuleAddress);
  ASSERT_EQ(aLink_Destroy(&link), aErrNone);
  ASSERT_TRUE(waitStats([](const Stats& s) { return s.linkStops >= 1; }));
  Bytes received = sim->received();
  ASSERT_GE(received.size(), 3u);
  EXPECT_EQ(Bytes(received.end() - 3, received.end()), (Bytes{0xAF, 0x01, 0x00}));
  EXPECT_EQ(sim->stats().linkStarts, 1u);
  EXPECT_EQ(sim->stats().framingErrors, 0u);
}

TEST_P(SimLink, HeartbeatsAreAnsweredAndNeverQueued) {
  // The module counts an answer as right only when it carries v + 2 for its
  // latest heartbeat. (An answer that arrives after the next heartbeat counts
  // as wrong there, so wrong ones are not held against the link on a loaded
  // machine; the exact answer bytes are checked by the scripted tests.)
  sim->setHeartbeatMs(20);
  ASSERT_TRUE(waitStats([](const Stats& s) { return s.heartbeatAnswers >= 10; }, 30000));
  sim->setHeartbeatMs(0);
  EXPECT_EQ(aLink_GetPacket(link), nullptr);
  EXPECT_EQ(queryAddress(link), kModuleAddress);
}

TEST_P(SimLink, RecoversFromInjectedGarbage) {
  sim->injectGarbage(7);
  ASSERT_TRUE(waitStats([](const Stats& s) { return s.resyncBursts >= 1; }));
  ASSERT_TRUE(waitStatus(link, LINK_RUNNING));
  // Odd garbage can restart the exchange more than once; what counts is that
  // framing is back and the module is heard.
  EXPECT_EQ(queryAddress(link), kModuleAddress);
  // Garbage in the middle of a packet from the module.
  sim->injectBytes({kModuleAddress, 0x05, 0x01});
  sim->injectGarbage(3);
  ASSERT_TRUE(waitStats([](const Stats& s) { return s.resyncBursts >= 2; }));
  ASSERT_TRUE(waitStatus(link, LINK_RUNNING));
  EXPECT_EQ(queryAddress(link), kModuleAddress);
}

bool consumeAll(const aPacket*, void* ref) {
  ++*static_cast<std::atomic<int>*>(ref);
  return true;
}

TEST_P(SimLink, UserFilterTakesPacketsBeforeTheQueue) {
  std::atomic<int> seen{0};
  ASSERT_EQ(aLink_InstallUserPacketFilter(link, consumeAll, &seen), aErrNone);
  sim->sendPacket(simmodule::Packet::make(kModuleAddress, {0x5D, 0x41, 0x40, 0x01}));
  sim->setHeartbeatMs(10);
  auto start = Clock::now();
  while (seen < 3 && Clock::now() - start < std::chrono::seconds(10))
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_GE(seen.load(), 3);
  sim->setHeartbeatMs(0);
  EXPECT_EQ(sim->stats().heartbeatAnswers, 0u);
  ASSERT_EQ(aLink_InstallUserPacketFilter(link, nullptr, nullptr), aErrNone);
  EXPECT_EQ(aLink_GetPacket(link), nullptr);
  EXPECT_EQ(queryAddress(link), kModuleAddress);
}

#ifdef _WIN32
// No pseudo-terminals here; the serial port has its own test against a COM port.
INSTANTIATE_TEST_SUITE_P(Transports, SimLink, ::testing::Values(Transport::Tcp),
#else
INSTANTIATE_TEST_SUITE_P(Transports, SimLink, ::testing::Values(Transport::Tcp, Transport::Pty),
#endif
                         [](const ::testing::TestParamInfo<Transport>& info) {
                           return info.param == Transport::Tcp ? "Tcp" : "Pty";
                         });

class SimTcp : public ::testing::Test {
 protected:
  void SetUp() override {
    simmodule::EndpointConfig endpoint;
    endpoint.heartbeatMs = 0;
    sim = std::make_unique<simmodule::Simulator>(moduleConfig(), endpoint);
    ASSERT_TRUE(sim->listenTcp(kLoopback, 0));
    ASSERT_TRUE(sim->start());
  }
  void TearDown() override { sim->stop(); }
  std::unique_ptr<simmodule::Simulator> sim;
};

TEST_F(SimTcp, LinksToOneModuleAreSharedAndCounted) {
  aLinkRef first = aLink_CreateTCPIP(kLoopback, sim->tcpPort());
  aLinkRef second = aLink_CreateTCPIP(kLoopback, sim->tcpPort());
  ASSERT_NE(first, 0u);
  EXPECT_EQ(first, second);
  ASSERT_TRUE(waitStatus(first, LINK_RUNNING));
  ASSERT_TRUE(sim->waitFor([](const Stats& s) { return s.linkStarts >= 1; }, 10000));
  ASSERT_EQ(aLink_Destroy(&second), aErrNone);
  EXPECT_EQ(second, 0u);
  EXPECT_EQ(queryAddress(first), kModuleAddress);
  EXPECT_EQ(sim->stats().connections, 1u);
  EXPECT_EQ(sim->stats().linkStarts, 1u);
  const aLinkRef stale = first;
  ASSERT_EQ(aLink_Destroy(&first), aErrNone);
  EXPECT_TRUE(sim->waitFor([](const Stats& s) { return s.linkStops == 1; }, 10000));
  EXPECT_EQ(aLink_GetStatus(stale), LINK_INVALID);
}

TEST_F(SimTcp, ModulesOnOtherPortsGetLinksOfTheirOwn) {
  simmodule::EndpointConfig endpoint;
  endpoint.heartbeatMs = 0;
  simmodule::ModuleConfig config = moduleConfig();
  config.address = 8;
  simmodule::Simulator other(config, endpoint);
  ASSERT_TRUE(other.listenTcp(kLoopback, 0));
  ASSERT_TRUE(other.start());
  aLinkRef a = aLink_CreateTCPIP(kLoopback, sim->tcpPort());
  aLinkRef b = aLink_CreateTCPIP(kLoopback, other.tcpPort());
  ASSERT_NE(a, b);
  ASSERT_TRUE(waitStatus(a, LINK_RUNNING));
  ASSERT_TRUE(waitStatus(b, LINK_RUNNING));
  EXPECT_EQ(queryAddress(a), kModuleAddress);
  EXPECT_EQ(queryAddress(b), 8);
  aLink_Destroy(&a);
  aLink_Destroy(&b);
  other.stop();
}

TEST_F(SimTcp, OrderlyCloseIsALostConnectionAndResetReconnects) {
  aLinkRef link = aLink_CreateTCPIP(kLoopback, sim->tcpPort());
  ASSERT_TRUE(waitStatus(link, LINK_RUNNING));
  // The module has the connection once it has seen the link start.
  ASSERT_TRUE(sim->waitFor([](const Stats& s) { return s.linkStarts >= 1; }, 10000));
  sim->dropConnection(false);
  ASSERT_TRUE(waitStatus(link, LINK_READ_ERROR));
  EXPECT_EQ(aLink_AwaitFirst(link, isAddressAnswer, nullptr, 1000), nullptr);
  ASSERT_EQ(aLink_Reset(link), aErrNone);
  ASSERT_TRUE(waitStatus(link, LINK_RUNNING));
  EXPECT_EQ(queryAddress(link), kModuleAddress);
  EXPECT_EQ(sim->stats().linkStarts, 2u);
  aLink_Destroy(&link);
}

TEST_F(SimTcp, ModuleThatIsNotThereShowsAsReadError) {
  const uint16_t port = sim->tcpPort();
  sim->stop();
  aLinkRef link = aLink_CreateTCPIP(kLoopback, port);
  ASSERT_NE(link, 0u);
  EXPECT_TRUE(waitStatus(link, LINK_READ_ERROR));
  EXPECT_EQ(queryAddress(link), 0);
  EXPECT_EQ(aLink_Destroy(&link), aErrNone);
}

}  // namespace
