#ifndef UPDATER_DEVICELIST_H
#define UPDATER_DEVICELIST_H
// One discovered module as the -D listing shows it, and the two read-backs
// that fill it from a connected module.
#include <cstdint>
#include <string>
#include <vector>

#include "aDiscovery.h"
#include "aError.h"

namespace Mirovane { namespace Kelvarion { class Module; } }
class UpdaterDisplayInterface;

struct DeviceListEntry {
  linkSpec spec{};           // how the module is reached (type 1 USB, 2 TCPIP)
  uint32_t build = 0;        // 0 when the read failed
  uint8_t versionMajor = 0;
  uint8_t versionMinor = 0;
  uint32_t versionPatch = 0;
  std::string modelName;
  aErr error = aErrNone;     // the last failed step, aErrNone when every read succeeded
  std::string unread;        // what failed ("the version could not be read" ...), empty when nothing did
};

// The modules behind a routing module that routes to this host (routeToMe
// done): every even address 2-252 is asked for its serial number, and each
// one that answers with it is read and listed, in address order.
std::vector<DeviceListEntry> listNetworkModules(Mirovane::Kelvarion::Module& router, const linkSpec& routerSpec,
                                                uint32_t routerSerial);
// The module's firmware build number (module query 0x49 0xFF); 0 on failure.
uint32_t readBuildNumber(Mirovane::Kelvarion::Module& module);
// Fills the firmware version and the module and router addresses from the
// system entity; the first failing read ends it, gives its error and is
// named in entry.unread.
aErr readVersion(Mirovane::Kelvarion::Module& module, DeviceListEntry& entry);
// Connects to the module of entry.spec and reads its build and version;
// what failed goes to entry.error and entry.unread.
void readEntry(DeviceListEntry& entry);

// Most modules one TCP/IP listing holds; further answers are dropped (and
// the operator is told so).
constexpr size_t kMaxTcpipRows = 256;
// Appends the modules that answer TCP/IP discovery to entries, one per serial
// number and address, read several at a time under one deadline, so that
// peers answering many times, or slowly, cannot hold the listing up.
void discoverTcpipDevices(UpdaterDisplayInterface* display, std::vector<DeviceListEntry>& entries);

#endif
