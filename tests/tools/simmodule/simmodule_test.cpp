// The simulated module driven by a raw socket: framing, link start and stop,
// heartbeats and their answers, the resynchronisation answer, the
// module-address query, routing to further modules and injected faults.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "SimModule.h"
#include "aTime.h"
#include "platform/socket.h"

namespace {

using simmodule::Packet;
using simmodule::Simulator;
using simmodule::Stats;
using Bytes = std::vector<uint8_t>;

// The host side, without any of the program's link code.
class RawHost {
 public:
  explicit RawHost(uint16_t port) {
    socket_ = platform::tcpSocket();
    connected_ = platform::tcpConnect(socket_, platform::ipv4Loopback(), port, 3000) == platform::NetResult::Ok;
  }
  ~RawHost() { platform::socketClose(socket_); }
  bool connected() const { return connected_; }
  void send(const Bytes& bytes) {
    size_t sent = 0;
    ASSERT_EQ(platform::NetResult::Ok, platform::socketSend(socket_, bytes.data(), bytes.size(), &sent));
    ASSERT_EQ(bytes.size(), sent);
  }
  // Exactly count bytes, or what came within timeoutMs.
  Bytes receive(size_t count, uint32_t timeoutMs = 5000) {
    Bytes got;
    uint32_t start = aTime_GetMSTicks();
    while (got.size() < count && aTime_GetMSTicks() - start < timeoutMs) {
      if (!platform::socketWaitReadable(socket_, 20))
        continue;
      uint8_t buf[64];
      size_t n = 0;
      platform::NetResult r = platform::socketReceive(socket_, buf, std::min(sizeof buf, count - got.size()), &n);
      if (r == platform::NetResult::WouldBlock)
        continue;
      if (r != platform::NetResult::Ok) {
        lost_ = true;
        break;
      }
      got.insert(got.end(), buf, buf + n);
    }
    return got;
  }
  // True once the simulator has ended the connection.
  bool waitLost(uint32_t timeoutMs) {
    uint32_t start = aTime_GetMSTicks();
    while (!lost_ && aTime_GetMSTicks() - start < timeoutMs)
      receive(1, 50);
    return lost_;
  }

 private:
  platform::SocketHandle socket_;
  bool connected_ = false;
  bool lost_ = false;
};

simmodule::EndpointConfig quiet() {
  simmodule::EndpointConfig endpoint;
  endpoint.heartbeatMs = 0;
  return endpoint;
}

class SimTest : public ::testing::Test {
 protected:
  void startSim(const simmodule::EndpointConfig& endpoint = quiet()) {
    simmodule::ModuleConfig module;
    module.address = 4;
    sim.reset(new Simulator(module, endpoint));
    ASSERT_TRUE(sim->listenTcp(platform::ipv4Loopback(), 0));
    ASSERT_TRUE(sim->start());
    host.reset(new RawHost(sim->tcpPort()));
    ASSERT_TRUE(host->connected());
  }
  bool waitStats(const std::function<bool(const Stats&)>& condition) { return sim->waitFor(condition, 5000); }

  std::unique_ptr<Simulator> sim;
  std::unique_ptr<RawHost> host;
};

TEST_F(SimTest, LinkStartAndStopAreTakenWithoutReply) {
  startSim();
  host->send({0xAF, 0x01, 0x01});
  ASSERT_TRUE(waitStats([](const Stats& s) { return s.linkStarts == 1; }));
  // The first thing the host gets back is the answer to its next question.
  host->send({0xAD, 0x00});
  EXPECT_EQ((Bytes{4, 0}), host->receive(2));
  host->send({0xAF, 0x01, 0x00});
  ASSERT_TRUE(waitStats([](const Stats& s) { return s.linkStops == 1; }));
  host->send({0xAD, 0x00});
  EXPECT_EQ((Bytes{4, 0}), host->receive(2));
  EXPECT_EQ(2u, sim->stats().addressQueries);
  EXPECT_EQ((Bytes{0xAF, 1, 1, 0xAD, 0, 0xAF, 1, 0, 0xAD, 0}), sim->received());
}

TEST_F(SimTest, HeartbeatsAfterLinkStartAndTheirAnswersAreChecked) {
  simmodule::EndpointConfig endpoint;
  endpoint.heartbeatMs = 20;
  startSim(endpoint);
  EXPECT_TRUE(host->receive(1, 100).empty());  // nothing before the link starts
  host->send({0xAF, 0x01, 0x01});
  Bytes beat = host->receive(4);
  ASSERT_EQ(4u, beat.size());
  EXPECT_EQ((Bytes{4, 2, 0}), Bytes(beat.begin(), beat.begin() + 3));
  host->send({4, 2, 0, static_cast<uint8_t>(beat[3] + 2)});
  ASSERT_TRUE(waitStats([](const Stats& s) { return s.heartbeatAnswers == 1; }));
  beat = host->receive(4);
  ASSERT_EQ(4u, beat.size());
  host->send({4, 2, 0, static_cast<uint8_t>(beat[3] + 1)});  // a wrong answer
  ASSERT_TRUE(waitStats([](const Stats& s) { return s.heartbeatWrong == 1; }));
  // Unanswered heartbeats are counted as missed.
  ASSERT_TRUE(waitStats([](const Stats& s) { return s.heartbeatMissed >= 1; }));
  host->send({0xAF, 0x01, 0x00});
  ASSERT_TRUE(waitStats([](const Stats& s) { return s.linkStops == 1; }));
  uint32_t sent = sim->stats().heartbeatsSent;
  host->receive(1000, 150);  // drain what was on its way
  EXPECT_LE(sim->stats().heartbeatsSent, sent + 1);
}

TEST_F(SimTest, ResyncBurstGetsEvenByteZeroByteZero) {
  startSim();
  Bytes burst;
  for (int i = 0; i < 6; ++i) {
    burst.push_back(0xAD);
    burst.push_back(0x00);
  }
  host->send(burst);
  EXPECT_EQ((Bytes{4, 0, 4, 0}), host->receive(4));
  // Nothing more: the burst is not taken for six address queries.
  EXPECT_TRUE(host->receive(1, 100).empty());
  EXPECT_EQ(1u, sim->stats().resyncBursts);
  EXPECT_EQ(0u, sim->stats().addressQueries);
  // Framing goes on after it.
  host->send({0xAD, 0x00});
  EXPECT_EQ((Bytes{4, 0}), host->receive(2));
}

TEST_F(SimTest, BadFramingIsDroppedAndPacketsAreRouted) {
  startSim();
  // A module behind the primary (at 4) answers at 6 with its own handler.
  sim->configure([&] {
    simmodule::ModuleConfig behind;
    behind.address = 6;
    sim->addModule(behind).onCommand(0x23, [](simmodule::Module& m, const Packet& p) {
      m.send({0x23, static_cast<uint8_t>(p.data[1] + 1)});
    });
  });
  // Odd address and an over-long length are framing errors and are skipped.
  host->send({0x05, 0x00, 31, 0xAD, 0x00});
  EXPECT_EQ((Bytes{4, 0}), host->receive(2));
  EXPECT_GE(sim->stats().framingErrors, 3u);
  host->send({6, 2, 0x23, 0x41});
  EXPECT_EQ((Bytes{6, 2, 0x23, 0x42}), host->receive(4));
  host->send({8, 1, 0x10});  // nobody answers at 8
  ASSERT_TRUE(waitStats([](const Stats& s) { return s.unrouted == 1; }));
  host->send({6, 1, 0x10});  // module 6 has no handler for command 0x10
  ASSERT_TRUE(waitStats([](const Stats& s) { return s.unhandled == 1; }));
  // A packet split across writes is put together.
  host->send({6, 2});
  host->send({0x23, 0x01});
  EXPECT_EQ((Bytes{6, 2, 0x23, 0x02}), host->receive(4));
}

TEST_F(SimTest, FaultsGarbageSilenceAndDroppedConnection) {
  startSim();
  sim->injectGarbage(3);
  EXPECT_EQ((Bytes{1, 3, 5}), host->receive(3));
  sim->setSilent(true);
  host->send({0xAD, 0x00});
  ASSERT_TRUE(waitStats([](const Stats& s) { return s.addressQueries == 1; }));
  EXPECT_TRUE(host->receive(1, 100).empty());
  sim->setSilent(false);
  sim->dropConnection(true);
  EXPECT_TRUE(host->waitLost(5000));
  ASSERT_TRUE(waitStats([](const Stats& s) { return s.disconnections == 1; }));
  // The listener stays: the next connection is served.
  RawHost again(sim->tcpPort());
  ASSERT_TRUE(again.connected());
  again.send({0xAD, 0x00});
  EXPECT_EQ((Bytes{4, 0}), again.receive(2));
  EXPECT_EQ(2u, sim->stats().connections);
}

}  // namespace
