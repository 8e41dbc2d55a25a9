// -U end to end: the module's loader misbehaves or restarts on the way (resent
// pieces, a restart into the loader, injected faults); the update succeeds or
// ends with exit 1, no reboot and no record.
#include "UpdateEndToEnd.h"

TEST_F(UpdateEndToEnd, WrongAcceptedCountIsResentAndTheUpdateSucceeds) {
  startModule(5, [](simmodule::UpgradeSettings& s) {
    s.faults.wrongCountAt = 5;
    s.faults.wrongCountRepeats = 3;
  });
  const std::string path = dir + "/birch.bird";
  ASSERT_TRUE(writeBird(path, 6));
  const RunResult run = updater({"-U", "-d", kSerialText, "-f", path});
  ASSERT_EQ(0, run.exitCode) << run.out << run.err;
  EXPECT_EQ(expectedFlash(path, kSerial), flash());
}

// LOAD restarts the module into its loader: the link drops and the module is
// found again over TCP/IP, by the loader start's own reconnection or, when
// the module stays away longer than that, by the workflow's rediscovery.
TEST_F(UpdateEndToEnd, ModuleThatRestartsIntoItsLoaderIsFoundAgain) {
  for (uint32_t offlineMs : {300u, 4000u}) {
    startModule(5, [&](simmodule::UpgradeSettings& s) {
      s.faults.dropOnLoad = true;
      s.faults.rebootDelayMs = offlineMs;
    });
    const std::string path = dir + "/birch.bird";
    ASSERT_TRUE(writeBird(path, 9));
    const RunResult run = updater({"-U", "-d", kSerialText, "-f", path});
    ASSERT_EQ(0, run.exitCode) << offlineMs << run.out << run.err;
    EXPECT_EQ(expectedFlash(path, kSerial), flash()) << offlineMs;
    EXPECT_EQ(1u, reboots()) << offlineMs;
    discovery->stop();
    simulator->stop();
  }
}

// Each injected loader fault ends the run with exit 1, no reboot and no record.
struct FaultCase {
  const char* name;
  std::function<void(simmodule::UpgradeSettings&)> change;
};

class UpdateFaults : public UpdateEndToEnd, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(UpdateFaults, FailsWithoutRebootOrRecord) {
  startModule(5, GetParam().change);
  const std::string path = dir + "/birch.bird";
  ASSERT_TRUE(writeBird(path, 8));
  const RunResult run = updater({"-U", "-d", kSerialText, "-f", path});
  expectFailedUpdate(run);
}

INSTANTIATE_TEST_SUITE_P(
    Loader, UpdateFaults,
    ::testing::Values(
        FaultCase{"SumOneOff", [](simmodule::UpgradeSettings& s) { s.faults.sumOffAt = 3; }},
        FaultCase{"PrepareErrorStatus",
                  [](simmodule::UpgradeSettings& s) {
                    s.faults.prepareStatus = 4;
                    s.faults.prepareErrorAt = 1;  // the first firmware block
                  }},
        FaultCase{"WriteErrorStatus", [](simmodule::UpgradeSettings& s) { s.faults.writeStatus = 6; }},
        FaultCase{"SilentLoader",
                  [](simmodule::UpgradeSettings& s) { s.faults.silentOptions = 1u << 0; }},
        FaultCase{"SilentDuringData",
                  [](simmodule::UpgradeSettings& s) { s.faults.silentOptions = 1u << 1; }},
        FaultCase{"LinkDroppedMidTransfer",
                  [](simmodule::UpgradeSettings& s) { s.faults.dropAtData = 30; }},
        FaultCase{"BlockSizeZero", [](simmodule::UpgradeSettings& s) { s.faults.blockSize = 0; }},
        FaultCase{"CountNeverMatches",
                  [](simmodule::UpgradeSettings& s) {
                    s.faults.wrongCountAt = 12;
                    s.faults.wrongCountRepeats = -1;
                  }}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });
