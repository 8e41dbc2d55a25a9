#ifndef UPDATER_LISTINGS_H
#define UPDATER_LISTINGS_H
// The -D and -B commands as main runs them: gather, then print the table.
#include <cstdint>

class UpdaterApp;
class UpdaterDisplayInterface;

// -D: with a non-zero router, the modules behind that routing module; else the
// modules reachable directly over linkType (0 = USB). Returns the exit code.
int runDiscoverCommand(UpdaterApp& app, UpdaterDisplayInterface* display, uint32_t routerSerial,
                       int linkType);
// -B: the builds the update server offers for serial. Returns the exit code.
int runListBuildsCommand(UpdaterApp& app, UpdaterDisplayInterface* display, uint32_t serial);

#endif
