// Device update: not built yet.
#include "UpdaterApp.h"
#include "UpdaterApp_Unavailable.h"

bool UpdaterApp::updateDevice(uint32_t, uint32_t, const std::string&, uint8_t, uint32_t, bool) {
  reportUnavailable(display, "update (-U)");
  return false;
}
