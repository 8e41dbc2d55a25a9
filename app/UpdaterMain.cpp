// The run of the program: parse, banner, usage or the commands in their
// fixed order (-N, then -G, then one of -D, -U, -B).
#include "UpdaterMain.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "BuildNumber.h"
#include "Listings.h"
#include "UpdaterApp.h"
#include "UpdaterDirectory.h"
#include "UpdaterDisplay.h"
#include "UpdaterOptions.h"
#include "UpdaterUsage.h"
#include "aDirectory.h"
#include "aVersion.h"

namespace {

const char kAppName[] = "Updater";
// UPDATER_VERSION comes from the build (the project version).
const char kAppVersion[] = "Version: " UPDATER_VERSION " Jan 20 2023";
const char kMakerNotice[] = "Copyright (c) Mirovane. All rights reserved.";
const int kDirectoryMode = 0755;

// -N: the processor's 16-byte identifier over a serial boot loader.
int runFingerprint(UpdaterApp& app, CLI_Display& display, const UpdaterOptions& options) {
  uint32_t identifier[4] = {0, 0, 0, 0};
  if (!app.identifyDevice(identifier, options.serialPort, PLACEHOLDER_SERIAL, options.birdFile,
                          options.baudRate, true)) {
    display.print(1, "Got no response from chip");
    return 1;
  }
  display.print(0, "[ %08X %08X %08X %08X ]", identifier[0], identifier[1], identifier[2],
                identifier[3]);
  return 0;
}

// -G: one build from the update server into the store; the stored build
// number replaces options.buildNumber so that a following -U uses it.
int runGetBuild(UpdaterApp& app, CLI_Display& display, UpdaterOptions& options) {
  display.print(0, "Retrieving firmware for device with serial number %08X", options.serialNumber);
  if (options.buildNumber.empty()) {
    display.print(0, "No build specified");
    display.print(0, "Using Latest build");
  } else {
    display.print(0, "Retrieving firmware build %s", options.buildNumber.c_str());
  }
  uint32_t stored =
      app.getBuild(options.serialNumber, options.buildNumber, options.overrideModelCheck, false);
  if (!stored) return 1;
  options.buildNumber = std::to_string(stored);
  return 0;
}

int runDiscover(UpdaterApp& app, CLI_Display& display, const UpdaterOptions& options) {
  int linkType = (options.transportGiven && options.transport != TRANSPORT_RECOVER) ? options.transport : 0;
  if (options.routerSerialNumber)
    display.print(0, "Searching for Kelvarion Network devices connected to %08X",
                  options.routerSerialNumber);
  else
    display.print(0, "Searching for Kelvarion devices");
  return runDiscoverCommand(app, &display, options.routerSerialNumber, linkType);
}

int runUpdate(UpdaterApp& app, CLI_Display& display, const UpdaterOptions& options) {
  // No build given (or none stored by -G): build 0, the current one.
  uint32_t build = 0;
  if (!parseBuildNumber(options.buildNumber, &build)) build = 0;
  bool ok;
  if (options.transport == TRANSPORT_RECOVER) {
    if (options.serialPort.empty()) {
      display.print(1, "Must specify the serial port used for connecting");
      return 1;
    }
    ok = app.recover(options.serialPort, build, options.baudRate, options.serialNumber,
                     options.birdFile, options.overrideModelCheck);
  } else {
    if (!options.serialNumber) {
      display.print(1, "Must specify the specific device to be updated");
      return 1;
    }
    ok = app.updateDevice(options.serialNumber, build, options.birdFile, options.moduleAddress,
                          options.routerSerialNumber, options.overrideModelCheck);
  }
  return ok ? 0 : 1;
}

int runListBuilds(UpdaterApp& app, CLI_Display& display, const UpdaterOptions& options) {
  if (!options.serialNumber) {
    display.print(1, "Error must supply a serial number for the List Builds command");
    printShortUsage();
    return 1;
  }
  // A failed server request is a failed command (exit 1).
  return runListBuildsCommand(app, &display, options.serialNumber);
}

// Steps after the updater directory exists: the commands in their order.
int runCommands(UpdaterApp& app, CLI_Display& display, UpdaterOptions& options) {
  int result = 0;
  if (options.commands & CMD_FINGERPRINT) {
    if (options.serialPort.empty()) {
      display.print(1, "Must specify the serial port used for connecting");
      return 1;
    }
    result = runFingerprint(app, display, options);
  }
  if (options.commands & CMD_GET_BUILD) {
    if (!options.serialNumber) {
      display.print(1, "-G must specify a specific device via -d");
      display.print(1, "--help for usage information");
      return 1;
    }
    result = runGetBuild(app, display, options);
    if (result != 0 && (options.commands & CMD_UPDATE) &&
        !(options.commands & CMD_DISCOVER)) {
      // An older stored build must not go in place of the one asked for.
      display.print(1, "Not updating: the build could not be downloaded");
      return 1;
    }
  }
  // A command that failed before stays failed whatever the next one does.
  if (options.commands & CMD_DISCOVER) return std::max(result, runDiscover(app, display, options));
  if (options.commands & CMD_UPDATE) return std::max(result, runUpdate(app, display, options));
  if (options.commands & CMD_LIST_BUILDS)
    return std::max(result, runListBuilds(app, display, options));
  return result;
}

}  // namespace

int runUpdater(int argc, const char* const* argv) {
  UpdaterOptions options;
  CLI_Display display;
  setDebugStream(stderr);

  int parsed = parseOptions(&display, argc, argv, options);
  if (parsed == 0 && options.versionRequested) {
    display.print(0, "%s %s", kAppName, UPDATER_VERSION);
    display.print(0, "libkelvarion %s", aVersion_GetString());
    return 0;
  }
  display.print(0, "%s (%s)", kAppName, kAppVersion);
  if (parsed != 0) {
    display.print(0, "(%s)", kMakerNotice);
    printShortUsage();
    return 1;
  }
  if ((options.commands & CMD_HELP) || !(options.commands & CMD_ANY)) {
    display.print(0, "(%s)", kMakerNotice);
    display.print(0, "[Kelvarion Release: %d.%d.%d]", aVersion_GetMajor(), aVersion_GetMinor(),
                  static_cast<int>(aVersion_GetPatch()));
    printUsage(options.debugMaskGiven, options.helpRequested);
    return 0;
  }

  const std::string directory = getUpdaterDirectory();
  if (directory.empty() || aDirectory_Ensure(directory.c_str(), kDirectoryMode) != aErrNone) {
    display.print(1, "Could not find updater directory at %s", directory.c_str());
    return 1;
  }
  UpdaterApp app(options.serverUrl, directory, &display);
  return runCommands(app, display, options);
}
