// -B: not built yet.
#include "Listings.h"
#include "UpdaterApp_Unavailable.h"

int runListBuildsCommand(UpdaterApp&, UpdaterDisplayInterface* display, uint32_t) {
  reportUnavailable(display, "list builds (-B)");
  return 1;
}
