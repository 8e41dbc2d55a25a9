#ifndef UPDATER_LISTINGS_H
#define UPDATER_LISTINGS_H
// The -D and -B commands as main runs them: gather, then print the table.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

class UpdaterApp;
class UpdaterDisplayInterface;
struct DeviceListEntry;

// The device listing: "Discovered Devices: (USB|TCPIP|Unknown)", then one
// line per module (or "    No devices found.").
void printDeviceList(UpdaterDisplayInterface* display, const std::vector<DeviceListEntry>& entries,
                     int linkType);

// -D: with a non-zero router, the modules behind that routing module; else the
// modules reachable directly over linkType (0 = USB). Returns the exit code.
int runDiscoverCommand(UpdaterApp& app, UpdaterDisplayInterface* display, uint32_t routerSerial,
                       int linkType);
// The build table of -B: build text and version text per row, sorted by
// version text; "No builds found for device [%08X]" for an empty list.
void printBuildList(UpdaterDisplayInterface* display,
                    const std::map<std::string, std::string>& builds, uint32_t serial);
// -B: the builds the update server offers for serial. Returns the exit code.
int runListBuildsCommand(UpdaterApp& app, UpdaterDisplayInterface* display, uint32_t serial);

#endif
