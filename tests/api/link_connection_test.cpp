// Module queries, connection, addressing and routing through the Link, and
// the packet log.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "LinkExchange.h"

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
