// -U end to end: the checks of file against module and the refusals before
// anything is sent, each with its message, exit 1 and no record.
#include "UpdateEndToEnd.h"

TEST_F(UpdateEndToEnd, ModelMismatchFailsUnlessOverridden) {
  startModule(13);  // a "Cedar"
  const std::string path = dir + "/birch.bird";
  ASSERT_TRUE(writeBird(path, 3));
  RunResult run = updater({"-U", "-d", kSerialText, "-f", path});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos,
            run.err.find("Connected device model and Bird file model do not match [Cedar]"))
      << run.err;
  EXPECT_NE(std::string::npos, run.err.find("Birdfile failed validation")) << run.err;
  EXPECT_TRUE(flash().empty());

  run = updater({"-U", "-d", kSerialText, "-f", path, "-OVERRIDE"});
  EXPECT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_EQ(expectedFlash(path, kSerial), flash());
}

TEST_F(UpdateEndToEnd, SerialMismatchFailsUnlessOverridden) {
  startModule();
  const std::string path = dir + "/other.bird";
  ASSERT_TRUE(writeBird(path, 4, "Birch", "11112222"));  // no serial offsets, another serial
  RunResult run = updater({"-U", "-d", kSerialText, "-f", path});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos, run.err.find("Birdfile failed validation")) << run.err;
  EXPECT_TRUE(flash().empty());

  run = updater({"-U", "-d", kSerialText, "-f", path, "-OVERRIDE"});
  EXPECT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_EQ(expectedFlash(path, kSerial), flash());
}

TEST_F(UpdateEndToEnd, ModuleThatReportsAnotherSerialIsRefused) {
  startModule(5, [](simmodule::UpgradeSettings& s) { s.reportedSerial = 0x12345678; });
  const std::string path = dir + "/birch.bird";
  ASSERT_TRUE(writeBird(path, 5));
  const RunResult run = updater({"-U", "-d", kSerialText, "-f", path});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos, run.err.find("Birdfile failed validation")) << run.err;
  EXPECT_TRUE(flash().empty());
}

TEST_F(UpdateEndToEnd, ModuleThatIsNotThere) {
  const std::string path = dir + "/birch.bird";
  ASSERT_TRUE(writeBird(path, 5));
  const RunResult run = updater({"-U", "-d", kSerialText, "-f", path});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos, run.err.find("Failed to connect to module [40F5849A]")) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("Update time: ")) << run.out;
}

TEST_F(UpdateEndToEnd, RefusedBeforeConnecting) {
  startModule();
  // A file that cannot be loaded.
  RunResult run = updater({"-U", "-d", kSerialText, "-f", dir + "/missing.bird"});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos, run.err.find("Failed to load bird file")) << run.err;
  // A serial offset block that names no place for the serial number.
  BirdWriter writer;
  writer.addInfo("Kelvarion", "1.0", "00000000", "Birch");
  writer.addSerialOffsets(0, 0);
  writer.addImage(1, kFirmwareBase, code(100, 1));
  const std::string unpatchable = dir + "/unpatchable.bird";
  ASSERT_TRUE(writer.writeFile(unpatchable));
  run = updater({"-U", "-d", kSerialText, "-f", unpatchable, "-X", "1"});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos, run.err.find("Error: Unable to modify serial number in bird.\n"))
      << run.err;
  // Without -X the operator still learns why.
  run = updater({"-U", "-d", kSerialText, "-f", unpatchable});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_EQ("Unable to modify serial number in bird file\n", run.err);
  // A routing module without a module address.
  const std::string path = dir + "/birch.bird";
  ASSERT_TRUE(writeBird(path, 2));
  run = updater({"-U", "-r", "1234ABCD", "-d", kSerialText, "-f", path});
  EXPECT_EQ(1, run.exitCode);
  EXPECT_NE(std::string::npos,
            run.err.find("Module address required for indirect firmware update"))
      << run.err;
  EXPECT_TRUE(flash().empty());
  EXPECT_EQ(std::string::npos, run.out.find("Update time")) << run.out;
}

// A module that answers nothing when its serial number and model are read:
// the refusal names the read that failed, not only the file.
TEST_F(UpdateEndToEnd, SilentModuleIsNamedAsTheCauseOfTheRefusal) {
  startModule();
  const std::string path = dir + "/birch.bird";
  ASSERT_TRUE(writeBird(path, 11));
  BirdFile file(path);
  linkSpec spec{};
  spec.type = LINKTYPE_TCPIP;
  spec.serialNumber = kSerial;
  spec.ipAddress = htonl(INADDR_LOOPBACK);
  spec.ipPort = simulator->tcpPort();
  Mirovane::Kelvarion::Module module(2);
  ASSERT_EQ(aErrNone, module.connectFromSpec(spec));
  simulator->setSilent(true);
  RecordingDisplay display;
  EXPECT_FALSE(UpdateFirmware(&display, file, module, kSerial));
  EXPECT_NE(std::string::npos, display.err.find("Could not read the serial number of module [40F5849A]: aErr"))
      << display.err;
  module.disconnect();
}
