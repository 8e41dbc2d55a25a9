// The server requests against the reference update server on loopback.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "ServerProcess.h"
#include "server/HttpTransfer.h"
#include "server/ServerComm.h"

namespace {

const uint32_t kHub = 0x40F5849A;
const std::string kDown = "http://127.0.0.1:1/cgi/u";  // nothing listens on port 1

std::string decoded(const std::string& text) {
  size_t length = 0;
  unsigned char* bytes = base64Decode(text.data(), text.size(), &length);
  std::string result = bytes ? std::string(reinterpret_cast<char*>(bytes), length) : "<null>";
  free(bytes);
  return result;
}

}  // namespace

TEST(ServerRequests, AnsweredByReferenceServer) {
  ServerProcess server;
  ASSERT_TRUE(server.start());
  const std::string url = server.url();

  EXPECT_TRUE(ServerCommClass::ping(url.c_str()));

  std::string build, firmware;
  ASSERT_TRUE(ServerCommClass::QueryBuild(kHub, &build, &firmware, url.c_str()));
  EXPECT_EQ(build, "17");
  EXPECT_EQ(firmware, "hub-40");

  std::map<std::string, std::string> builds;
  ASSERT_TRUE(ServerCommClass::GetBuildList(kHub, &builds, url.c_str()));
  ASSERT_EQ(builds.size(), 2u);
  EXPECT_EQ(builds["17"], "1.10");
  EXPECT_EQ(builds["9"], "1.9");

  std::string bird;
  ASSERT_TRUE(ServerCommClass::GetBuild(kHub, "hub-40", "17", &bird, url.c_str(), false));
  EXPECT_EQ(decoded(bird), ServerProcess::birdBytes());

  const uint32_t fp[4] = {0x00112233, 0x44556677, 0x8899AABB, 0xCCDDEEFF};
  uint32_t serial = 0, current = 0;
  EXPECT_TRUE(ServerCommClass::GetRecoveryInfo(fp, &serial, &current, url.c_str()));
  EXPECT_EQ(serial, kHub);
  EXPECT_EQ(current, 17u);

  // Keys went out sorted, each pair followed by "&", no_cal=false included.
  const std::string log = server.log();
  EXPECT_NE(log.find("GET /cgi/u?op=hi&rv=2& -> 200"), std::string::npos) << log;
  EXPECT_NE(log.find("GET /cgi/u?bld=17&fw=hub-40&no_cal=false&op=bird&sn=40F5849A& -> 200"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("fp=00112233%2044556677%208899AABB%20CCDDEEFF&op=fix&"),
            std::string::npos)
      << log;
}

TEST(ServerRequests, RefusalsLeaveOutputsUntouched) {
  ServerProcess server;
  ASSERT_TRUE(server.start());
  const std::string url = server.url();

  std::string build = "keep", firmware = "keep";
  EXPECT_FALSE(ServerCommClass::QueryBuild(0x12345678, &build, &firmware, url.c_str()));
  EXPECT_EQ(build, "keep");
  EXPECT_EQ(firmware, "keep");

  std::map<std::string, std::string> builds = {{"stale", "x"}};
  EXPECT_FALSE(ServerCommClass::GetBuildList(0x12345678, &builds, url.c_str()));
  EXPECT_TRUE(builds.empty()) << "cleared even on failure";

  // Known device without builds: an "ok" reply with no entries.
  EXPECT_TRUE(ServerCommClass::GetBuildList(0x2A, &builds, url.c_str()));
  EXPECT_TRUE(builds.empty());

  std::string bird = "keep";
  EXPECT_FALSE(ServerCommClass::GetBuild(kHub, "hub-40", "9", &bird, url.c_str(), false));
  EXPECT_FALSE(ServerCommClass::GetBuild(kHub, "other", "17", &bird, url.c_str(), true));
  EXPECT_EQ(bird, "keep");

  const uint32_t unknown[4] = {1, 2, 3, 4};
  uint32_t serial = 5, current = 6;
  EXPECT_FALSE(ServerCommClass::GetRecoveryInfo(unknown, &serial, &current, url.c_str()));
  EXPECT_EQ(serial, 5u);
  EXPECT_EQ(current, 6u);

  // A path the server does not serve: 404 for every request.
  const std::string missing = url + "-missing";
  EXPECT_FALSE(ServerCommClass::ping(missing.c_str()));
  EXPECT_FALSE(ServerCommClass::QueryBuild(kHub, &build, &firmware, missing.c_str()));
  EXPECT_FALSE(ServerCommClass::GetBuild(kHub, "hub-40", "17", &bird, missing.c_str(), false));
}

TEST(ServerRequests, ServerDownFailsEveryRequest) {
  std::string build, firmware, bird;
  std::map<std::string, std::string> builds;
  EXPECT_FALSE(ServerCommClass::ping(kDown.c_str()));
  EXPECT_FALSE(ServerCommClass::QueryBuild(kHub, &build, &firmware, kDown.c_str()));
  EXPECT_FALSE(ServerCommClass::GetBuildList(kHub, &builds, kDown.c_str()));
  EXPECT_FALSE(ServerCommClass::GetBuild(kHub, "hub-40", "17", &bird, kDown.c_str(), false));
}

TEST(ServerRequests, CarriageReturnLineEnds) {
  ServerProcess server({"crlf"});
  ASSERT_TRUE(server.start());
  const std::string url = server.url();
  std::string build, firmware, bird;
  ASSERT_TRUE(ServerCommClass::QueryBuild(kHub, &build, &firmware, url.c_str()));
  EXPECT_EQ(build, "17\r");
  EXPECT_EQ(firmware, "hub-40");
  std::map<std::string, std::string> builds;
  ASSERT_TRUE(ServerCommClass::GetBuildList(kHub, &builds, url.c_str()));
  EXPECT_EQ(builds["17"], "1.10");
  ASSERT_TRUE(ServerCommClass::GetBuild(kHub, "hub-40", "17", &bird, url.c_str(), false));
  ASSERT_FALSE(bird.empty());
  EXPECT_EQ(bird.back(), '\r');
}

TEST(ServerRequests, FaultyReplies) {
  ServerProcess server({"ok-alone:bird", "http-500:builds", "not-ok:qu"});
  ASSERT_TRUE(server.start());
  const std::string url = server.url();
  std::string bird = "stale", build, firmware;
  EXPECT_TRUE(ServerCommClass::GetBuild(kHub, "hub-40", "17", &bird, url.c_str(), false));
  EXPECT_EQ(bird, "") << "ok alone: true with nothing received";
  std::map<std::string, std::string> builds;
  EXPECT_FALSE(ServerCommClass::GetBuildList(kHub, &builds, url.c_str()));
  EXPECT_FALSE(ServerCommClass::QueryBuild(kHub, &build, &firmware, url.c_str()));
}

TEST(ServerRequests, OversizedBodyIsRefused) {
  ServerProcess server({"huge"}, {"--huge-bytes", std::to_string(kServerMaxReplyBytes + 4096)});
  ASSERT_TRUE(server.start());
  std::string bird = "stale";
  EXPECT_FALSE(ServerCommClass::GetBuild(kHub, "hub-40", "17", &bird, server.url().c_str(), false));
  EXPECT_EQ(bird, "stale");

  ServerReply reply;
  try {
    serverGet(reply, server.url(), {{"op", "hi"}});
    FAIL() << "no error raised";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("larger than"), std::string::npos) << error.what();
  }
  EXPECT_LE(reply.body.size(), kServerMaxReplyBytes);
}
