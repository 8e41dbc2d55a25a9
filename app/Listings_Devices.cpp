// -D: not built yet.
#include "Listings.h"
#include "UpdaterApp_Unavailable.h"

int runDiscoverCommand(UpdaterApp&, UpdaterDisplayInterface* display, uint32_t, int) {
  reportUnavailable(display, "discover (-D)");
  return 1;
}
