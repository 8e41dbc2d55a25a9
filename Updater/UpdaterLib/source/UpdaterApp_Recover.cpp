// Recovery through a processor's boot loader: not built yet, so both
// operations say so on the error output and fail.
#include "UpdaterApp.h"
#include "UpdaterDisplay.h"

bool UpdaterApp::recover(const std::string&, uint32_t, uint32_t, uint32_t, const std::string&, bool) {
  if (display) display->print(1, "The %s command is not available yet", "recover (-U -t RECOVER)");
  return false;
}

bool UpdaterApp::identifyDevice(uint32_t identifier[4], const std::string&, uint32_t,
                                const std::string&, uint32_t, bool) {
  for (int i = 0; i < 4; ++i) identifier[i] = 0;
  if (display) display->print(1, "The %s command is not available yet", "fingerprint (-N)");
  return false;
}
