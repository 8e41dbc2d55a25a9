// -U end to end: the real Updater against the reference update server and a
// simulated module found by TCP/IP discovery, inside an isolated network
// namespace. Updates that succeed: the flashed bytes against the BIRD image
// with the serial number patched in, the build choices, the transfer record in
// the store, and a route through a routing module.
#include "UpdateEndToEnd.h"

TEST_F(UpdateEndToEnd, GetThenUpdateFlashesThePatchedImageAndRecordsIt) {
  startServer();
  startModule();
  const RunResult run = updater({"-G", "-U", "-d", kSerialText});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_NE(std::string::npos, run.out.find("Updating firmware with build: 101")) << run.out;
  EXPECT_NE(std::string::npos, run.out.find("Update time: ")) << run.out;

  const std::map<uint32_t, Bytes> flashed = flash();
  EXPECT_EQ(expectedFlash(root + "/birch/101.bird", kSerial), flashed);
  // Serial little-endian at its offset, descriptor digits in the low bytes of UTF-16.
  const Bytes& first = flashed.at(kFirmwareBase);
  const size_t s = kSerialOffset - kFirmwareBase;
  EXPECT_EQ((Bytes{0x9A, 0x84, 0xF5, 0x40}), Bytes(first.begin() + s, first.begin() + s + 4));
  const size_t d = kDescriptorOffset - kFirmwareBase;
  for (size_t i = 0; i < 8; ++i) EXPECT_EQ(kSerialText[i], first[d + 2 * i]) << i;
  EXPECT_EQ(code(3000, 102)[d + 1], first[d + 1]);  // the bytes in between stay

  const std::map<std::string, std::string> attributes = deviceAttributes();
  EXPECT_EQ("101.bird", attributes.at("LATEST_TRANSFER"));
  EXPECT_EQ("101.bird", attributes.at("LATEST_DOWNLOAD"));
  EXPECT_EQ(24u, attributes.at("LAST_TRANSFER_DATE").size());
  EXPECT_FALSE(exists(work + "/.settings"));
  EXPECT_EQ(1u, reboots());
  simmodule::inspectUpgrade(*simulator, [&](simmodule::UpgradeState&) {
    EXPECT_EQ(101u, simulator->primary().config().build);
  });
}

TEST_F(UpdateEndToEnd, UpdateFromFileRecordsThePathAsTypedInTheStore) {
  startModule();
  const std::string path = dir + "/custom.bird";
  ASSERT_TRUE(writeBird(path, 7));
  const RunResult run = updater({"-U", "-d", kSerialText, "-f", path});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_NE(std::string::npos, run.out.find("Updating from Birdfile: " + path)) << run.out;
  EXPECT_EQ(expectedFlash(path, kSerial), flash());
  // The module was new to the store: its directory and .settings were made.
  EXPECT_EQ(path, deviceAttributes()["LATEST_TRANSFER"]);
  EXPECT_FALSE(exists(work + "/.settings"));
}

TEST_F(UpdateEndToEnd, BuildChoices) {
  startServer();
  startModule();
  // A named build that is not stored.
  RunResult run = updater({"-U", "-d", kSerialText, "-b", "12345"});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos, run.out.find("Updating firmware with build: 12345")) << run.out;
  EXPECT_NE(std::string::npos, run.err.find("Failed to load bird file")) << run.err;

  // The server's current build (101) is not stored: the latest download (100) is used.
  const std::string device = store + "/" + kSerialText;
  mkdir(device.c_str(), 0755);
  ASSERT_TRUE(writeBird(device + "/100.bird", 100));
  writeText(device + "/.settings", "LATEST_DOWNLOAD=100.bird\n");
  run = updater({"-U", "-d", kSerialText});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_NE(std::string::npos,
            run.out.find("New firmware is available.  Updater will proceed if valid firmware is "
                         "found locally."))
      << run.out;
  EXPECT_NE(std::string::npos, run.out.find("Updating with the Latest Download")) << run.out;
  EXPECT_EQ(expectedFlash(device + "/100.bird", kSerial), flash());
  EXPECT_EQ("100.bird", deviceAttributes()["LATEST_TRANSFER"]);

  // Once the current build is stored it is used, without a "Latest" message.
  ASSERT_TRUE(writeBird(device + "/101.bird", 101));
  run = updater({"-U", "-d", kSerialText});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_EQ(std::string::npos, run.out.find("Latest")) << run.out;
  EXPECT_EQ(expectedFlash(device + "/101.bird", kSerial), flash());
}

TEST_F(UpdateEndToEnd, NothingToChooseFrom) {
  startModule();  // no server
  const RunResult run = updater({"-U", "-d", kSerialText});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos, run.err.find("Could not find valid build for this device."))
      << run.err;
  EXPECT_EQ(std::string::npos, run.out.find("Update time")) << run.out;
}

// A download that fails must not be followed by an update with an older
// stored build: -G -U reports the failure and exits 1.
TEST_F(UpdateEndToEnd, GetThenUpdateStopsWhenTheDownloadFails) {
  for (const char* fault : {"bad-base64:bird", "http-500:bird"}) {
    startServer({fault});
    startModule();
    const std::string device = store + "/" + kSerialText;
    mkdir((home + "/.mirovane").c_str(), 0755);
    mkdir(store.c_str(), 0755);
    mkdir(device.c_str(), 0755);
    ASSERT_TRUE(writeBird(device + "/100.bird", 100));
    writeText(device + "/.settings", "LATEST_DOWNLOAD=100.bird\n");
    const RunResult run = updater({"-G", "-U", "-d", kSerialText});
    EXPECT_EQ(1, run.exitCode) << fault << run.out << run.err;
    EXPECT_NE(std::string::npos, run.err.find("Not updating: the build could not be downloaded"))
        << fault << run.err;
    EXPECT_EQ(std::string::npos, run.out.find("Updating with the Latest Download")) << run.out;
    EXPECT_TRUE(flash().empty()) << fault;
    EXPECT_EQ(0u, reboots()) << fault;
    EXPECT_EQ("100.bird", deviceAttributes()["LATEST_DOWNLOAD"]) << fault;
    discovery->stop();
    simulator->stop();
    server.stop();
  }
}

// Through a routing module: the workflow reaches the module at its address
// behind the router (something the command line cannot ask for). The module
// restarts without taking the router's link down, so the wait for the link
// to drop after REBOOT ends by its bound.
TEST_F(UpdateEndToEnd, UpdateThroughARoutingModule) {
  startModule(4);  // the router, an "Alder"
  simmodule::ModuleConfig behind;
  behind.serialNumber = 0x0000ABCD;
  behind.model = 5;
  behind.address = 6;
  behind.firmwareVersion = 0x10000064;
  behind.build = 100;
  simulator->withLock([&] { simulator->addModule(behind); });
  const std::string path = dir + "/birch.bird";
  ASSERT_TRUE(writeBird(path, 10));

  RecordingDisplay display;
  UpdaterApp app("http://127.0.0.1:9/cgi/u", store, &display);
  EXPECT_TRUE(app.updateDevice(0x0000ABCD, 0, path, 6, kSerial, false)) << display.out << display.err;
  std::map<uint32_t, Bytes> flashed;
  simmodule::inspectUpgrade(*simulator, [&](simmodule::UpgradeState& s) {
    flashed = s.loader.flash();
    EXPECT_EQ(1u, s.reboots);
  }, 6);
  EXPECT_EQ(expectedFlash(path, 0x0000ABCD), flashed);
  EXPECT_TRUE(flash().empty());  // nothing went to the router itself
  EXPECT_EQ(path, readAttributes(store + "/0000ABCD/.settings")["LATEST_TRANSFER"]);

  // A router that is not there.
  EXPECT_FALSE(app.updateDevice(0x0000ABCD, 0, path, 6, 0x11111111, false));
  EXPECT_NE(std::string::npos, display.err.find("Failed to connect to link module [11111111]"))
      << display.err;
}
