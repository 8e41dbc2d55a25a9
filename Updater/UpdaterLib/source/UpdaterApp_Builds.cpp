// Build listing (-B) and retrieval (-G): ask the update server about one
// module's builds and fetch one into the module's directory of the store.
#include <cstdlib>
#include <stdexcept>

#include "BuildNumber.h"
#include "UpdaterApp.h"
#include "UpdaterDisplay.h"
#include "aThread.h"
#include "server/HttpTransfer.h"
#include "server/ServerComm.h"
#include "store/UpdaterStore.h"

namespace {

// One download, run on the worker thread. The main thread reads received and
// result only after the worker has ended (aThread_Await returned aErrNone).
struct DownloadJob {
  uint32_t serial;
  std::string firmware;
  std::string bld;
  std::string url;
  bool noCal;
  std::string received;
  bool result = false;
};

void runDownload(void* arg) {
  DownloadJob* job = static_cast<DownloadJob*>(arg);
  job->result = ServerCommClass::GetBuild(job->serial, job->firmware, job->bld, &job->received,
                                          job->url.c_str(), job->noCal);
}

// Runs GetBuild on a worker thread while the busy indicator turns every
// 100 ms; returns the request's result once the worker has ended.
bool downloadBuild(UpdaterDisplayInterface* display, DownloadJob* job) {
  aThreadRef worker = aThread_Start(runDownload, job);
  if (!worker) {
    display->print(1, "Download failed");
    return false;
  }
  display->showBusy(true, "Downloading");
  while (aThread_Await(worker, 100) == aErrTimeout) {
    display->showBusy(true, "Downloading");
  }
  display->showBusy(false, "Downloading");
  if (!job->result) display->print(1, "Download failed");
  aThread_Destroy(&worker);
  return job->result;
}

}  // namespace

std::map<std::string, std::string> UpdaterApp::listBuilds(uint32_t serial, bool* ok) {
  std::map<std::string, std::string> builds;
  if (ok) *ok = false;
  if (!ServerCommClass::ping(serverUrl.c_str())) {
    display->print(1, "Server request failed for %s", serverUrl.c_str());
    return builds;
  }
  if (!ServerCommClass::GetBuildList(serial, &builds, serverUrl.c_str())) {
    display->print(1, "Failed to retrieve builds for %08X", serial);
    return builds;
  }
  if (ok) *ok = true;
  return builds;
}

bool UpdaterApp::isBuildValid(uint32_t serial, uint32_t build, const std::string& baseUrl) {
  std::map<std::string, std::string> builds;
  if (!ServerCommClass::GetBuildList(serial, &builds, baseUrl.c_str())) return false;
  for (const auto& entry : builds) {
    if (buildNumberOrZero(entry.first) == build) return true;
  }
  return false;
}

namespace {

// The module's directory in the store, made when it is not there yet; false
// (with the cause on the display) when the store cannot give one.
bool openDeviceRecord(UpdaterDisplayInterface* display, const std::string& directory, uint32_t serial,
                      DeviceRecord* record) {
  try {
    UpdaterStore store(directory);
    if (!store.findDevice(serial, record)) {
      debugPrint(DEBUG_APP, "Could not find device in our update history.\n");
      try {
        *record = store.getDevice(serial);
      } catch (const std::runtime_error& error) {
        display->print(1, "%s", error.what());
        display->print(1, "Could not create directory for storing BIRD file");
        return false;
      }
    }
  } catch (const std::runtime_error& error) {
    // The store root itself is unusable (for instance a file).
    display->print(1, "%s", error.what());
    return false;
  }
  const std::string problem = record->problem();
  if (problem.empty()) return true;
  display->print(1, "%s", problem.c_str());
  return false;
}

// Decodes a fetched BIRD file, stores it as <build>.bird and records it as
// the latest download; false (with the cause on the display) otherwise.
bool storeFetchedBuild(UpdaterDisplayInterface* display, DeviceRecord& record, uint32_t build,
                       std::string& received) {
  // A server that ends its lines with CR LF leaves the CR on the base64 line.
  if (!received.empty() && received.back() == '\r') received.pop_back();
  if (received.empty()) {
    display->print(1, "Failed to retreive a valid BIRD file");
    return false;
  }
  const std::string fileName = buildFileName(build);
  if (!base64DecodeInPlace(received)) {
    // Not base64: nothing is stored and nothing recorded.
    display->print(1, "Failed to retreive a valid BIRD file");
    return false;
  }
  const std::string now = localTimeText();
  const aErr written = record.writeFile(fileName, received.data(), received.size());
  if (written != aErrNone) {
    display->print(1, "Failed to write file with %d", static_cast<int>(written));
    return false;
  }
  AttributeFile& attributes = record.attributes();
  attributes.set(ATTR_LATEST_DOWNLOAD, fileName);
  attributes.set(ATTR_LAST_DOWNLOAD_DATE, now);
  const aErr recorded = attributes.write();
  if (recorded != aErrNone) {
    display->print(1, "Failed to write attributes with %d", static_cast<int>(recorded));
    return false;
  }
  return true;
}

}  // namespace

uint32_t UpdaterApp::getBuild(uint32_t serial, const std::string& buildText, bool override,
                              bool noCal) {
  uint32_t build = 0;
  if (!buildText.empty() && !readLeadingBuildNumber(buildText, &build)) {
    display->print(1, "Build number '%s' must be an number", buildText.c_str());
    return 0;
  }
  if (serial == 0) {
    display->print(1, "Serial Number must be non-zero");
    return 0;
  }
  if (!ServerCommClass::ping(serverUrl.c_str())) {
    display->print(1, "Server request failed for %s", serverUrl.c_str());
    return 0;
  }
  DeviceRecord record;
  if (!openDeviceRecord(display, updaterDirectory, serial, &record)) return 0;

  std::string current, firmware;
  if (!ServerCommClass::QueryBuild(serial, &current, &firmware, serverUrl.c_str())) {
    display->print(1, "No build information for device");
    return 0;
  }
  if (build == 0) build = buildNumberOrZero(current);
  if (build == 0) {
    // Nothing to ask for: no "0.bird" is fetched or recorded.
    display->print(1, "The server's current build '%s' is not a build number", current.c_str());
    return 0;
  }
  display->print(0, "Retrieving build %u", build);
  if (override) {
    display->print(0, "Override specified, skipping validation of build %u", build);
  } else {
    display->print(0, "Validating build %u with server", build);
    if (!isBuildValid(serial, build, serverUrl)) {
      display->print(1, "No valid build %u", build);
      return 0;
    }
    display->print(0, "Build %u is valid", build);
  }

  const std::string bld = std::to_string(build);
  DownloadJob job{serial, firmware, bld, serverUrl, noCal, std::string(), false};
  downloadBuild(display, &job);
  return storeFetchedBuild(display, record, build, job.received) ? build : 0;
}
