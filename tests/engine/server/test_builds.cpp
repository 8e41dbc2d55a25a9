// Build listing and retrieval against the reference server, into a store in
// a temporary directory.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "Listings.h"
#include "RecordingDisplay.h"
#include "ServerProcess.h"
#include "TempDir.h"
#include "UpdaterApp.h"
#include "server/HttpTransfer.h"
#include "store/AttributeFile.h"

namespace {

const uint32_t kHub = 0x40F5849A;

class BuildRetrieval : public ::testing::Test {
 protected:
  void SetUp() override { home_ = temp_.path(); }

  std::string devicePath(const char* file) const { return home_ + "/40F5849A/" + file; }
  bool exists(const std::string& path) const {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
  }
  AttributeFile settings() const {
    AttributeFile file;
    file.parse(readFile(devicePath(".settings")).c_str(),
               readFile(devicePath(".settings")).size());
    return file;
  }

  TempDir temp_{"updater-store-"};
  std::string home_;
  RecordingDisplay display_;
};

}  // namespace

TEST_F(BuildRetrieval, CurrentBuildIsStoredWithItsAttributes) {
  ServerProcess server;
  ASSERT_TRUE(server.start());
  UpdaterApp app(server.url(), home_, &display_);
  EXPECT_EQ(app.getBuild(kHub, "", false, false), 17u) << display_.all();
  EXPECT_TRUE(display_.has("I:Retrieving build 17"));
  EXPECT_TRUE(display_.has("I:Validating build 17 with server"));
  EXPECT_TRUE(display_.has("I:Build 17 is valid"));
  EXPECT_GE(display_.busyFrames, 1);
  EXPECT_TRUE(display_.busyEnded);
  EXPECT_EQ(display_.busyLabel, "Downloading");

  EXPECT_EQ(readFile(devicePath("17.bird")), ServerProcess::birdBytes());
  AttributeFile attributes = settings();
  EXPECT_EQ(attributes.getString("LATEST_DOWNLOAD"), "17.bird");
  EXPECT_EQ(attributes.getString("LAST_DOWNLOAD_DATE").size(), 24u);
  EXPECT_TRUE(attributes.has("CREATED_TIME"));
}

TEST_F(BuildRetrieval, BuildTextsAndSerialChecked) {
  ServerProcess server;
  ASSERT_TRUE(server.start());
  UpdaterApp app(server.url(), home_, &display_);
  EXPECT_EQ(app.getBuild(kHub, " 17abc", false, false), 17u) << display_.all();
  EXPECT_EQ(app.getBuild(kHub, "abc", false, false), 0u);
  EXPECT_TRUE(display_.has("E:Build number 'abc' must be an number"));
  EXPECT_EQ(app.getBuild(kHub, "99999999999", false, false), 0u);
  EXPECT_TRUE(display_.has("E:Build number '99999999999' must be an number"));
  EXPECT_EQ(app.getBuild(0, "", false, false), 0u);
  EXPECT_TRUE(display_.has("E:Serial Number must be non-zero"));
}

TEST_F(BuildRetrieval, ListedBuildMissingOnServerFailsDownload) {
  ServerProcess server;
  ASSERT_TRUE(server.start());
  UpdaterApp app(server.url(), home_, &display_);
  EXPECT_EQ(app.getBuild(kHub, "9", false, false), 0u);
  EXPECT_TRUE(display_.has("I:Build 9 is valid")) << display_.all();
  EXPECT_TRUE(display_.has("E:Download failed"));
  EXPECT_TRUE(display_.has("E:Failed to retreive a valid BIRD file"));
  EXPECT_FALSE(exists(devicePath("9.bird")));
  EXPECT_FALSE(settings().has("LATEST_DOWNLOAD"));
  EXPECT_TRUE(settings().has("CREATED_TIME")) << "device directory made before the download";
}

TEST_F(BuildRetrieval, UnlistedBuildNeedsOverride) {
  ServerProcess server;
  ServerProcess::writeFile(server.root() + "/hub-40/5.bird", "five");
  ASSERT_TRUE(server.start());
  UpdaterApp app(server.url(), home_, &display_);
  EXPECT_EQ(app.getBuild(kHub, "5", false, false), 0u);
  EXPECT_TRUE(display_.has("E:No valid build 5")) << display_.all();
  EXPECT_FALSE(exists(devicePath("5.bird")));

  EXPECT_EQ(app.getBuild(kHub, "5", true, false), 5u) << display_.all();
  EXPECT_TRUE(display_.has("I:Override specified, skipping validation of build 5"));
  EXPECT_EQ(readFile(devicePath("5.bird")), "five");
  EXPECT_EQ(settings().getString("LATEST_DOWNLOAD"), "5.bird");
}

TEST_F(BuildRetrieval, ServerDownOrUnknownDevice) {
  UpdaterApp down("http://127.0.0.1:1/cgi/u", home_, &display_);
  EXPECT_EQ(down.getBuild(kHub, "", false, false), 0u);
  EXPECT_TRUE(display_.has("E:Server request failed for http://127.0.0.1:1/cgi/u"));
  bool ok = true;
  EXPECT_TRUE(down.listBuilds(kHub, &ok).empty());
  EXPECT_FALSE(ok);

  ServerProcess server;
  ASSERT_TRUE(server.start());
  UpdaterApp app(server.url(), home_, &display_);
  EXPECT_EQ(app.getBuild(0x12345678, "", false, false), 0u);
  EXPECT_TRUE(display_.has("E:No build information for device")) << display_.all();
  EXPECT_TRUE(app.listBuilds(0x12345678, &ok).empty());
  EXPECT_FALSE(ok);
  EXPECT_TRUE(display_.has("E:Failed to retrieve builds for 12345678"));
}

TEST_F(BuildRetrieval, CarriageReturnLineEndsStillDeliverTheBuild) {
  ServerProcess server({"crlf"});
  ASSERT_TRUE(server.start());
  UpdaterApp app(server.url(), home_, &display_);
  EXPECT_EQ(app.getBuild(kHub, "", false, false), 17u) << display_.all();
  EXPECT_EQ(readFile(devicePath("17.bird")), ServerProcess::birdBytes());
}

TEST_F(BuildRetrieval, EmptyOrUndecodableReplyStoresNothing) {
  for (const char* fault : {"ok-alone:bird", "bad-base64"}) {
    SCOPED_TRACE(fault);
    ServerProcess server({fault});
    ASSERT_TRUE(server.start());
    RecordingDisplay display;
    UpdaterApp app(server.url(), home_, &display);
    EXPECT_EQ(app.getBuild(kHub, "", false, false), 0u);
    EXPECT_TRUE(display.has("E:Failed to retreive a valid BIRD file")) << display.all();
    EXPECT_FALSE(display.has("E:Download failed"));
    EXPECT_FALSE(exists(devicePath("17.bird")));
    EXPECT_FALSE(settings().has("LATEST_DOWNLOAD"));
  }
}

TEST_F(BuildRetrieval, UnwritableBuildFileIsAFailure) {
  ServerProcess server;
  ASSERT_TRUE(server.start());
  // A directory where the build file should go: the file cannot be created.
  ASSERT_EQ(mkdir((home_ + "/40F5849A").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(devicePath("17.bird").c_str(), 0755), 0);
  UpdaterApp app(server.url(), home_, &display_);
  EXPECT_EQ(app.getBuild(kHub, "", false, false), 0u);
  EXPECT_TRUE(display_.has("E:Failed to write file with 3")) << display_.all();
  EXPECT_FALSE(settings().has("LATEST_DOWNLOAD"));
}

TEST_F(BuildRetrieval, StoreRootThatIsAFileIsReported) {
  ServerProcess server;
  ASSERT_TRUE(server.start());
  const std::string root = home_ + "/root-file";
  ServerProcess::writeFile(root, "x");
  UpdaterApp app(server.url(), root, &display_);
  EXPECT_EQ(app.getBuild(kHub, "", false, false), 0u);
  EXPECT_TRUE(display_.has("E:UpdaterStore: " + root + " exists and is a file")) << display_.all();
}

TEST_F(BuildRetrieval, BuildListCommand) {
  ServerProcess server;
  ASSERT_TRUE(server.start());
  UpdaterApp app(server.url(), home_, &display_);
  EXPECT_EQ(runListBuildsCommand(app, &display_, kHub), 0);
  const std::vector<std::string> expected = {
      "I:Build List for device [40F5849A]:\n",
      "I:Build          \tVersion        ",
      "I:17             \t1.10           ",
      "I:9              \t1.9            "};
  EXPECT_EQ(display_.lines, expected);

  display_.lines.clear();
  EXPECT_EQ(runListBuildsCommand(app, &display_, 0x2A), 0);
  EXPECT_EQ(display_.lines, std::vector<std::string>{"I:No builds found for device [0000002A]"});

  display_.lines.clear();
  UpdaterApp down("http://127.0.0.1:1/cgi/u", home_, &display_);
  EXPECT_EQ(runListBuildsCommand(down, &display_, kHub), 1);
  EXPECT_EQ(display_.lines,
            std::vector<std::string>{"E:Server request failed for http://127.0.0.1:1/cgi/u"});
}

TEST(BuildList, SortedByVersionTextCutTo15Characters) {
  RecordingDisplay display;
  printBuildList(&display,
                 {{"100", "2.0"}, {"7", "1.9"}, {"8", "1.10"}, {"1234567890123456789", "x"}},
                 0xABC);
  const std::vector<std::string> expected = {
      "I:Build List for device [00000ABC]:\n", "I:Build          \tVersion        ",
      "I:8              \t1.10           ",     "I:7              \t1.9            ",
      "I:100            \t2.0            ",     "I:123456789012345\tx              "};
  EXPECT_EQ(display.lines, expected);
}

TEST_F(BuildRetrieval, StalledDownloadEndsWithTheTransferTimeout) {
  ServerProcess server({"stall:bird"});
  ASSERT_TRUE(server.start());
  UpdaterApp app(server.url(), home_, &display_);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(app.getBuild(kHub, "", false, false), 0u);
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                           std::chrono::steady_clock::now() - start).count();
  EXPECT_TRUE(display_.has("E:Download failed")) << display_.all();
  EXPECT_TRUE(display_.has("E:Failed to retreive a valid BIRD file"));
  // The low-speed limit (kServerLowSpeedSeconds) ends the wait; meanwhile the
  // busy indicator kept turning.
  EXPECT_GE(seconds, kServerLowSpeedSeconds - 1);
  EXPECT_LT(seconds, kServerLowSpeedSeconds + 30);
  EXPECT_GE(display_.busyFrames, 10);
  EXPECT_TRUE(display_.busyEnded);
}
