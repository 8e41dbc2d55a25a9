#ifndef UPDATER_UPDATERAPP_UNAVAILABLE_H
#define UPDATER_UPDATERAPP_UNAVAILABLE_H
// Temporary: commands whose workflow has not been built yet say so and fail.
#include "UpdaterDisplay.h"

inline void reportUnavailable(UpdaterDisplayInterface* display, const char* command) {
  if (display) display->print(1, "The %s command is not available yet", command);
}

#endif
