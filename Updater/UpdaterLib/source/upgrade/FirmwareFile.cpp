// Opening the BIRD file for a module: a named file, or a build from the
// module's directory in the store, downloaded first when asked for.
#include <stdexcept>
#include <string>

#include "BuildNumber.h"
#include "BirdFile.h"
#include "UpdaterApp.h"
#include "UpdaterDisplay.h"
#include "store/UpdaterStore.h"

BirdFile UpdaterApp::openBirdForDevice(const char* label, const std::string& birdPath,
                                       uint32_t serial, uint32_t build, bool download) {
  UpdaterStore store(updaterDirectory);
  if (!birdPath.empty()) {
    display->print(0, "%s from Birdfile: %s", label, birdPath.c_str());
    return BirdFile(birdPath);
  }
  DeviceRecord record = store.getDevice(serial);
  display->print(0, "%s firmware with build: %u", label, build);
  const std::string name = buildFileName(build);
  try {
    return record.loadBird(name);
  } catch (const std::runtime_error&) {
    if (!download) throw std::runtime_error("Error reading birdfile");
  }
  display->print(0, "Downloading firmware build %u", build);
  (void)getBuild(serial, std::to_string(build), false, false);
  return record.loadBird(name);
}
