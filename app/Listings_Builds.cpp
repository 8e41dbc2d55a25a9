// -B: the builds the update server offers for one module, as a table sorted
// by version text.
#include <algorithm>
#include <utility>
#include <vector>

#include "Listings.h"
#include "UpdaterApp.h"
#include "UpdaterDisplay.h"

void printBuildList(UpdaterDisplayInterface* display,
                    const std::map<std::string, std::string>& builds, uint32_t serial) {
  if (builds.empty()) {
    display->print(0, "No builds found for device [%08X]", serial);
    return;
  }
  display->print(0, "Build List for device [%08X]:\n", serial);
  display->print(0, "%-15.15s\t%-15.15s", "Build", "Version");
  // Byte order of the version texts ("1.10" before "1.9"); ties keep the
  // order of the build texts.
  std::vector<std::pair<std::string, std::string>> rows(builds.begin(), builds.end());
  std::stable_sort(rows.begin(), rows.end(),
                   [](const auto& a, const auto& b) { return a.second < b.second; });
  for (const auto& row : rows) {
    display->print(0, "%-15.15s\t%-15.15s", row.first.c_str(), row.second.c_str());
  }
}

int runListBuildsCommand(UpdaterApp& app, UpdaterDisplayInterface* display, uint32_t serial) {
  bool ok = false;
  const std::map<std::string, std::string> builds = app.listBuilds(serial, &ok);
  // A failed request has printed its error line; there is no list to show.
  if (!ok) return 1;
  printBuildList(display, builds, serial);
  return 0;
}
