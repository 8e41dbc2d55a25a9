// -D -t TCPIP against hostile peers, inside an isolated network namespace:
// one peer answering the same request many times, many peers whose
// connections accept and then say nothing, more answers than a listing
// holds. The listing must stay bounded in time and rows, and the real module
// among them must still be read.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "DeviceList.h"
#include "FakeDiscoveryPeer.h"
#include "SimDiscovery.h"
#include "SimModule.h"
#include "UpdaterApp.h"
#include "UpdaterDisplay.h"
#include "RecordingDisplay.h"
#include "netns_guard.h"

namespace {

// A TCP port that completes connections (in the kernel's backlog) and never
// reads or writes: every module read on it runs into its time-out.
class SilentListener {
 public:
  SilentListener() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr("10.77.0.1");
    socklen_t size = sizeof address;
    ok_ = fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
          listen(fd_, 512) == 0 &&
          getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) == 0;
    port_ = ntohs(address.sin_port);
  }
  ~SilentListener() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return ok_; }
  uint16_t port() const { return port_; }

 private:
  int fd_ = -1;
  bool ok_ = false;
  uint16_t port_ = 0;
};

struct DiscoveryFlood : ::testing::Test {
  void SetUp() override {
    if (!inIsolatedNetworkNamespace()) GTEST_SKIP() << "needs an isolated network namespace";
  }
};

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

TEST_F(DiscoveryFlood, RepeatedAndSilentPeersCostBoundedTimeAndTheRealModuleIsRead) {
  simmodule::ModuleConfig config;
  config.serialNumber = 0x40F5849A;
  config.model = 19;
  config.address = 4;
  config.firmwareVersion = 0x2300002A;
  config.build = 4711;
  simmodule::Simulator simulator(config);
  ASSERT_TRUE(simulator.listenTcp(htonl(INADDR_ANY), 0));
  ASSERT_TRUE(simulator.start());
  simmodule::DiscoveryResponder real(config, simulator.tcpPort());
  ASSERT_TRUE(real.start(inet_addr("10.77.0.1")));

  SilentListener silent;
  ASSERT_TRUE(silent.ok());
  // One stranger answering 40 times, and 15 others once each.
  std::vector<std::vector<uint8_t>> answers(40, discoveryAnswer(2, silent.port(), 0xF00D0000, 5));
  for (uint32_t i = 1; i <= 15; ++i) answers.push_back(discoveryAnswer(2, silent.port(), 0xF00D0000 + i, 5));
  FakeDiscoveryPeer flood(answers);
  ASSERT_TRUE(flood.ok());

  RecordingDisplay display;
  UpdaterApp app("http://127.0.0.1:1/cgi/u", "/tmp", &display);
  const auto start = std::chrono::steady_clock::now();
  std::vector<DeviceListEntry> entries = app.discoverDevices(LINKTYPE_TCPIP);
  const double seconds = secondsSince(start);
  // Read one after the other the 55 answers took several minutes.
  EXPECT_LT(seconds, 90.0);
  std::printf("flood of 55 answers (16 modules and the real one) listed in %.1f s\n", seconds);

  std::map<uint32_t, int> rows;
  for (const DeviceListEntry& entry : entries) ++rows[entry.spec.serialNumber];
  EXPECT_EQ(17u, rows.size());
  for (const auto& row : rows) EXPECT_EQ(1, row.second) << std::hex << row.first;
  for (const DeviceListEntry& entry : entries) {
    if (entry.spec.serialNumber == config.serialNumber) {
      EXPECT_EQ(aErrNone, entry.error) << entry.unread;
      EXPECT_EQ(4711u, entry.build);
      EXPECT_EQ(2, entry.versionMajor);
      EXPECT_EQ(42u, entry.versionPatch);
    } else {
      EXPECT_NE("", entry.unread) << std::hex << entry.spec.serialNumber;
    }
  }
  real.stop();
  simulator.stop();
}

TEST_F(DiscoveryFlood, MoreAnswersThanAListingHoldsAreDroppedAndSaidSo) {
  // Answers for 300 modules at a port where nothing listens.
  SilentListener closed;
  ASSERT_TRUE(closed.ok());
  const uint16_t port = closed.port();
  std::vector<std::vector<uint8_t>> answers;
  for (uint32_t i = 0; i < 300; ++i) answers.push_back(discoveryAnswer(2, static_cast<uint16_t>(port + 1), 0xA0000000 + i, 5));
  FakeDiscoveryPeer flood(answers);
  ASSERT_TRUE(flood.ok());

  RecordingDisplay display;
  UpdaterApp app("http://127.0.0.1:1/cgi/u", "/tmp", &display);
  const auto start = std::chrono::steady_clock::now();
  std::vector<DeviceListEntry> entries = app.discoverDevices(LINKTYPE_TCPIP);
  EXPECT_LT(secondsSince(start), 90.0);
  EXPECT_EQ(kMaxTcpipRows, entries.size());
  EXPECT_NE(std::string::npos, display.err.find("44 discovery answers dropped: a listing holds at most 256 modules"))
      << display.err;
}
