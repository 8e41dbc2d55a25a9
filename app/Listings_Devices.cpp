// -D: the discovery and the device listing.
#include "DeviceList.h"
#include "Listings.h"
#include "UpdaterApp.h"
#include "UpdaterDisplay.h"

namespace {

const char* linkTypeName(int linkType) {
  switch (linkType) {
    case LINKTYPE_USB:
      return "USB";
    case LINKTYPE_TCPIP:
      return "TCPIP";
    default:
      return "Unknown";
  }
}

// Modules the system would not let us open are missing from the list: say so,
// and how to get access, on the error stream.
void reportDeniedUsbModules(UpdaterDisplayInterface* display) {
  unsigned denied = aDiscovery_CountDeniedUSBModules();
  if (denied == 0) return;
  display->print(1, "%u Kelvarion USB module(s) present that this user may not open (permission denied).", denied);
  display->print(1, "To allow access: install the udev rule 60-kelvarion.rules (the mirovane-updater package "
                    "does; from a source tree, copy packaging/udev/60-kelvarion.rules to /etc/udev/rules.d), run "
                    "'udevadm control --reload-rules' and 'udevadm trigger' as root and plug the module in "
                    "again. Without a desktop session, also add the user to the group plugdev.");
}

void printEntry(UpdaterDisplayInterface* display, const DeviceListEntry& e) {
  const linkSpec& s = e.spec;
  const char* model = aDefs_GetModelName(static_cast<int>(s.model));
  if (s.type == LINKTYPE_TCPIP) {
    const uint8_t* ip = reinterpret_cast<const uint8_t*>(&s.ipAddress);
    char address[32];
    snprintf(address, sizeof address, "[%d.%d.%d.%d]", ip[0], ip[1], ip[2], ip[3]);
    display->print(0, "    %08X  %02X       %02X      %-12s %3d.%d.%d (%u) %s", s.serialNumber, s.module,
                   s.router, model, e.versionMajor, e.versionMinor, static_cast<int>(e.versionPatch), e.build,
                   address);
    // The row keeps its layout; why it holds zeros goes to the error stream.
    if (e.error != aErrNone || !e.unread.empty()) {
      const char* what = e.unread.empty() ? "a read failed" : e.unread.c_str();
      if (e.error != aErrNone)
        display->print(1, "Module %08X %s: %s (%s)", s.serialNumber, address, what, aError_GetErrorText(e.error));
      else
        display->print(1, "Module %08X %s: %s", s.serialNumber, address, what);
    }
  } else if (e.error != aErrNone) {
    display->print(0, "    %08X  [Error (%d): Is someone else connected to this device?]", s.serialNumber,
                   static_cast<int>(e.error));
  } else {
    display->print(0, "    %08X  %02X       %02X      %-12s %3d.%d.%d (%u)", s.serialNumber, s.module, s.router,
                   model, e.versionMajor, e.versionMinor, static_cast<int>(e.versionPatch), e.build);
  }
}

}  // namespace

void printDeviceList(UpdaterDisplayInterface* display, const std::vector<DeviceListEntry>& entries,
                     int linkType) {
  display->print(0, "Discovered Devices: (%s)", linkTypeName(linkType));
  if (entries.empty()) {
    display->print(0, "    No devices found.");
    return;
  }
  if (linkType == LINKTYPE_USB)
    display->print(0, "    Device    Module   Router  Model          Firmware Version (Build)");
  else
    display->print(0, "    Device    Module   Router  Model          Firmware Version (Build)   [IP address]");
  for (const DeviceListEntry& entry : entries) printEntry(display, entry);
}

int runDiscoverCommand(UpdaterApp& app, UpdaterDisplayInterface* display, uint32_t routerSerial, int linkType) {
  // main has printed the search line.
  if (routerSerial != 0) {
    std::vector<DeviceListEntry> entries = app.discoverNetworkDevices(routerSerial, linkType);
    // The modules behind the router are listed under the router's transport.
    int shown = !entries.empty() ? static_cast<int>(entries.front().spec.type)
                                 : (linkType == LINKTYPE_INVALID ? LINKTYPE_USB : linkType);
    printDeviceList(display, entries, shown);
    return 0;
  }
  if (linkType == LINKTYPE_INVALID) linkType = LINKTYPE_USB;
  printDeviceList(display, app.discoverDevices(linkType), linkType);
  if (linkType == LINKTYPE_USB) reportDeniedUsbModules(display);
  return 0;
}
