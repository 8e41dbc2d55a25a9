// Build listing and retrieval: not built yet.
#include "UpdaterApp.h"
#include "UpdaterApp_Unavailable.h"

std::map<std::string, std::string> UpdaterApp::listBuilds(uint32_t) {
  reportUnavailable(display, "list builds (-B)");
  return {};
}

uint32_t UpdaterApp::getBuild(uint32_t, const std::string&, bool, bool) {
  reportUnavailable(display, "get build (-G)");
  return 0;
}

bool UpdaterApp::isBuildValid(uint32_t, uint32_t, const std::string&) { return false; }
