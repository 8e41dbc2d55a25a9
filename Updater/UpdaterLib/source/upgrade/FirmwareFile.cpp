// Choosing and opening the BIRD file of an update or a recovery.
#include "upgrade/FirmwareFile.h"

#include <stdexcept>
#include <string>

#include "BuildNumber.h"
#include "UpdaterApp.h"
#include "UpdaterDisplay.h"
#include "server/ServerComm.h"
#include "store/UpdaterStore.h"

namespace upgrade {

namespace {

// The server's current build, loaded from the store; nothing when the server
// names none or the store does not hold it.
StoredBuild currentBuildIfStored(UpdaterApp& app, const DeviceRecord& record, uint32_t serial) {
  std::string buildText;
  std::string firmwareId;
  (void)ServerCommClass::QueryBuild(serial, &buildText, &firmwareId, app.serverUrl.c_str());
  StoredBuild current;
  const uint32_t build = buildNumberOrZero(buildText);
  if (build == 0) return current;
  try {
    current.file.emplace(record.loadBird(buildFileName(build)));
    current.number = build;
  } catch (const std::runtime_error&) {
    app.display->print(
        0, "New firmware is available.  Updater will proceed if valid firmware is found locally.");
  }
  return current;
}

}  // namespace

StoredBuild chooseBuild(UpdaterApp& app, const DeviceRecord& record, uint32_t serial) {
  StoredBuild chosen = currentBuildIfStored(app, record, serial);
  if (chosen.number != 0) return chosen;
  const AttributeFile& attributes = record.attributes();
  chosen.number = buildOfFileName(attributes.getString(ATTR_LATEST_DOWNLOAD, ""));
  if (chosen.number != 0) {
    app.display->print(0, "Updating with the Latest Download");
    return chosen;
  }
  chosen.number = buildOfFileName(attributes.getString(ATTR_LATEST_TRANSFER, ""));
  if (chosen.number != 0) {
    app.display->print(0, "Updating with the Latest Transfer");
    return chosen;
  }
  app.display->print(1, "Could not find valid build for this device.");
  return chosen;
}

BirdFile openBird(UpdaterApp& app, UpdaterStore& store, const char* label, const std::string& path,
                  uint32_t serial, StoredBuild build, bool download) {
  if (!path.empty()) {
    app.display->print(0, "%s from Birdfile: %s", label, path.c_str());
    return BirdFile(path);
  }
  DeviceRecord record = store.getDevice(serial);
  app.display->print(0, "%s firmware with build: %u", label, build.number);
  if (build.file) return std::move(*build.file);
  const std::string name = buildFileName(build.number);
  try {
    return record.loadBird(name);
  } catch (const std::runtime_error&) {
    if (!download) throw std::runtime_error("Error reading birdfile");
  }
  app.display->print(0, "Downloading firmware build %u", build.number);
  (void)app.getBuild(serial, std::to_string(build.number), false, false);
  return record.loadBird(name);
}

}  // namespace upgrade
