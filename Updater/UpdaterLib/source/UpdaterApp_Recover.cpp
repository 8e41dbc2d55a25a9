// Recovery through a processor's boot loader: not built yet.
#include "UpdaterApp.h"
#include "UpdaterApp_Unavailable.h"

bool UpdaterApp::recover(const std::string&, uint32_t, uint32_t, uint32_t, const std::string&, bool) {
  reportUnavailable(display, "recover (-U -t RECOVER)");
  return false;
}

bool UpdaterApp::identifyDevice(uint32_t identifier[4], const std::string&, uint32_t,
                                const std::string&, uint32_t, bool) {
  for (int i = 0; i < 4; ++i) identifier[i] = 0;
  reportUnavailable(display, "fingerprint (-N)");
  return false;
}
