// The seams of the upgrade module that need no module: reports reaching the
// display through the one progress callback, and a BIRD file loaded while
// the build was chosen being the one that is used (not read again).
#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "BirdFile.h"
#include "BirdWriter.h"
#include "RecordingDisplay.h"
#include "TempDir.h"
#include "UpdaterApp.h"
#include "store/UpdaterStore.h"
#include "upgrade/FirmwareFile.h"
#include "upgrade/UpgradeProgress.h"

namespace {

TEST(UpgradeProgress, EachReportReachesTheDisplayAsItsKindOfOutput) {
  RecordingDisplay display;
  const UpgradeProgress progress(&display);
  progress.status("Transferring %s block %u of %u, %d bytes", "firmware", 1u, 2u, 104);
  progress.error("Error starting loader [%d, %s]", 3, "aErrTimeout");
  progress.busy(true, "Verifying Update");
  progress.busy(true, "Verifying Update");
  progress.busy(false, "Verifying Update");
  const std::vector<std::string> expected = {"I:Transferring firmware block 1 of 2, 104 bytes",
                                             "E:Error starting loader [3, aErrTimeout]"};
  EXPECT_EQ(expected, display.lines);
  EXPECT_EQ(2, display.busyFrames);
  EXPECT_TRUE(display.busyEnded);
  EXPECT_EQ("Verifying Update", display.busyLabel);

  // A quiet display shows no line: the display keeps its own rules.
  display.setQuiet(true);
  progress.status("hidden");
  EXPECT_EQ(expected, display.lines);

  // No display, or no receiver at all: reports go nowhere.
  const UpgradeProgress none(static_cast<UpdaterDisplayInterface*>(nullptr));
  none.status("x");
  none.progress(0.5);
  UpgradeProgress().busy(true, "x");
}

TEST(UpgradeProgress, ACallbackSeesEveryReportInOrder) {
  std::vector<UpgradeEvent> events;
  const UpgradeProgress progress([&](const UpgradeEvent& e) { events.push_back(e); });
  progress.progressActive(true);
  progress.progress(0.25);
  progress.progressActive(false);
  progress.status("%d%%", 100);
  ASSERT_EQ(4u, events.size());
  EXPECT_EQ(UpgradeEvent::kProgressActive, events[0].kind);
  EXPECT_TRUE(events[0].on);
  EXPECT_EQ(UpgradeEvent::kProgress, events[1].kind);
  EXPECT_DOUBLE_EQ(0.25, events[1].fraction);
  EXPECT_FALSE(events[2].on);
  EXPECT_EQ(UpgradeEvent::kStatus, events[3].kind);
  EXPECT_EQ("100%", events[3].text);
}

class FirmwareFile : public ::testing::Test {
 protected:
  FirmwareFile() : app("http://127.0.0.1:1", dir.path(), &display), store(dir.path()) {}

  // A BIRD file with one firmware block, as a file image.
  static Bytes birdBytes(uint8_t seed) {
    BirdWriter writer;
    writer.addInfo("Test", "1.0", "0000ABCD", "Birch");
    writer.addImage(BIRD_BLOCK_FIRMWARE, 0x08000000, Bytes(40, seed));
    return writer.fileBytes();
  }

  TempDir dir;
  RecordingDisplay display;
  UpdaterApp app;
  UpdaterStore store;
};

TEST_F(FirmwareFile, AFileLoadedWhileChoosingIsUsedWithoutReadingItAgain) {
  const Bytes bytes = birdBytes(7);
  upgrade::StoredBuild build;
  build.number = 42;
  build.file.emplace("42.bird", bytes.data(), bytes.size());
  // The store holds no such file: the one given is the one returned.
  const BirdFile bird =
      upgrade::openBird(app, store, "Updating", "", 0xABCD, std::move(build), false);
  EXPECT_EQ("42.bird", bird.filename());
  EXPECT_EQ(1u, bird.blocksOfType(BIRD_BLOCK_FIRMWARE).size());
  EXPECT_TRUE(display.has("I:Updating firmware with build: 42")) << display.all();
}

TEST_F(FirmwareFile, ABuildIsReadFromTheModulesDirectoryOrRefused) {
  DeviceRecord record = store.getDevice(0xABCD);
  const Bytes bytes = birdBytes(9);
  ASSERT_EQ(aErrNone, record.writeFile("43.bird", bytes.data(), bytes.size()));
  const BirdFile stored =
      upgrade::openBird(app, store, "Recovering", "", 0xABCD, {43, std::nullopt}, false);
  EXPECT_EQ(record.filePath("43.bird"), stored.filename());
  EXPECT_TRUE(display.has("I:Recovering firmware with build: 43")) << display.all();

  try {
    (void)upgrade::openBird(app, store, "Updating", "", 0xABCD, {44, std::nullopt}, false);
    FAIL() << "a missing build must not open";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ("Error reading birdfile", e.what());
  }
}

TEST_F(FirmwareFile, ANamedFileIsOpenedByItsPath) {
  const Bytes bytes = birdBytes(3);
  const std::string path = dir.writeFile("named.bird", std::string(bytes.begin(), bytes.end()));
  const BirdFile bird = upgrade::openBird(app, store, "Updating", path, 0xABCD, {}, false);
  EXPECT_EQ(path, bird.filename());
  EXPECT_TRUE(display.has("I:Updating from Birdfile: " + path)) << display.all();
  EXPECT_THROW((void)upgrade::openBird(app, store, "Updating", dir.file("none.bird"), 0xABCD, {},
                                       false),
               std::runtime_error);
}

}  // namespace
