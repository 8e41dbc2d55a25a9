#ifndef UPDATER_UPGRADE_FIRMWARE_FILE_H
#define UPDATER_UPGRADE_FIRMWARE_FILE_H
// The BIRD file of an update or a recovery: a file named on the command line,
// or a build kept in the module's directory of the store. Each file is loaded
// once; a file loaded while the build was chosen is the one that is used.
#include <cstdint>
#include <optional>
#include <string>

#include "BirdFile.h"

class UpdaterApp;
class UpdaterStore;
class DeviceRecord;

namespace upgrade {

// A build of the store, and its file when it is loaded already.
struct StoredBuild {
  uint32_t number = 0;
  std::optional<BirdFile> file;
};

// The build of an update for which neither a file nor a build was named: the
// server's current build when the store holds it (loaded), else the build
// recorded as the latest download, else the latest transfer. Number 0 (after
// its error line) when there is none.
StoredBuild chooseBuild(UpdaterApp& app, const DeviceRecord& record, uint32_t serial);

// Shows "<label> from Birdfile: <path>" and loads path when it is not empty;
// else shows "<label> firmware with build: <number>" and takes the build's
// file from serial's directory (made when missing), downloading it first when
// download is set and the store does not have it. Raises std::runtime_error
// when there is no file to be had.
BirdFile openBird(UpdaterApp& app, UpdaterStore& store, const char* label, const std::string& path,
                  uint32_t serial, StoredBuild build, bool download);

}  // namespace upgrade

#endif
