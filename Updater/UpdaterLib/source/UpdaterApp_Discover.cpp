// -D: finding modules directly (USB, TCP/IP) or behind a routing module, and
// reading each one's firmware version and build.
#include <cstring>
#include <memory>

#include "DeviceList.h"
#include "Kelvarion.h"
#include "UpdaterApp.h"
#include "UpdaterDisplay.h"

using Mirovane::Kelvarion::Module;
using Mirovane::Kelvarion::SystemClass;

namespace {

bool appendEntry(const linkSpec* spec, bool* found, void* ref) {
  DeviceListEntry entry;
  entry.spec = *spec;
  static_cast<std::vector<DeviceListEntry>*>(ref)->push_back(entry);
  *found = true;
  return true;
}

struct SpecRelease {
  void operator()(linkSpec* spec) const { aLinkSpec_Destroy(&spec); }
};

struct RouterSearch {
  uint32_t serialNumber;
  linkType type;
};

bool findRouter(const linkSpec* spec, bool* found, void* ref) {
  RouterSearch* search = static_cast<RouterSearch*>(ref);
  if (spec->serialNumber != search->serialNumber) return true;
  debugPrint(DEBUG_Network, "NETWORK: Found device [%08X] via link type [%d]\n", spec->serialNumber,
             static_cast<int>(spec->type));
  search->type = spec->type;
  *found = true;
  return false;
}

// The transport over which the router answers: USB first, then TCP/IP.
linkType locateRouter(uint32_t router) {
  RouterSearch search{router, LINKTYPE_INVALID};
  aDiscovery_EnumerateModules(LINKTYPE_USB, findRouter, &search);
  if (search.type == LINKTYPE_INVALID) aDiscovery_EnumerateModules(LINKTYPE_TCPIP, findRouter, &search);
  return search.type;
}

}  // namespace

std::vector<DeviceListEntry> UpdaterApp::discoverDevices(int type) {
  std::vector<DeviceListEntry> entries;
  std::vector<linkType> types;
  if (type == LINKTYPE_INVALID) types = {LINKTYPE_USB, LINKTYPE_TCPIP};
  else types = {static_cast<linkType>(type)};
  for (linkType t : types) {
    if (t == LINKTYPE_TCPIP) {
      discoverTcpipDevices(display, entries);
      continue;
    }
    aDiscovery_EnumerateModules(t, appendEntry, &entries);
    // One connection at a time: each module is opened, read and closed in turn.
    for (DeviceListEntry& entry : entries) {
      if (entry.spec.type != t) continue;
      entry.modelName = aDefs_GetModelName(static_cast<int>(entry.spec.model));
      readEntry(entry);
    }
  }
  return entries;
}

std::vector<DeviceListEntry> UpdaterApp::discoverNetworkDevices(uint32_t routerSerial, int type) {
  std::vector<DeviceListEntry> entries;
  linkType t = static_cast<linkType>(type);
  if (t == LINKTYPE_INVALID) t = locateRouter(routerSerial);
  std::unique_ptr<linkSpec, SpecRelease> routerSpec(aDiscovery_FindModule(t, routerSerial));
  if (!routerSpec) return entries;
  Module router(2);
  router.connectFromSpec(*routerSpec);
  SystemClass routerSystem;
  routerSystem.init(&router, 0);
  if (routerSystem.routeToMe(1) != aErrNone) return entries;
  entries = listNetworkModules(router, *routerSpec, routerSerial);
  routerSystem.routeToMe(0);
  router.disconnect();
  return entries;
}
