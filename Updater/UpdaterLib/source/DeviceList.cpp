// Reading discovered modules for the -D listing: build and version of one
// module, and the modules found behind a routing module.
#include "DeviceList.h"

#include "Kelvarion.h"
#include "NetworkScan.h"
#include "UpdaterDisplay.h"
#include "aVersion.h"

using Mirovane::Kelvarion::Module;
using Mirovane::Kelvarion::SystemClass;

namespace {

// Modules are addressed 2, 4, ... 252 on a routing module's network.
const uint8_t kFirstAddress = 2;
const uint8_t kLastAddress = 252;
// How long the scan behind a router waits for the modules' answers, all
// together: the wait of one reply.
const uint32_t kNetworkAnswerWaitMs = 1000;

// Reads the module behind the router that answered at address with its serial number.
void readNetworkModule(Module& router, const NetworkAnswer& answer, const linkSpec& routerSpec, uint32_t routerSerial,
                       DeviceListEntry* entry) {
  Module module(answer.address);
  module.connectThroughLinkModule(&router);
  SystemClass system;
  system.init(&module, 0);
  const uint32_t serial = answer.serialNumber;
  entry->spec.type = routerSpec.type;
  entry->spec.serialNumber = serial;
  entry->spec.router = router.getModuleAddress();
  entry->spec.routerSerialNumber = routerSerial;
  entry->spec.ipAddress = routerSpec.ipAddress;
  entry->spec.ipPort = routerSpec.ipPort;
  entry->build = readBuildNumber(module);
  entry->error = readVersion(module, *entry);
  uint8_t model = 0;
  aErr err = system.getModel(&model);
  if (err != aErrNone) {
    entry->error = err;
  } else {
    entry->spec.model = model;
    entry->modelName = aDefs_GetModelName(model);
  }
}

}  // namespace

uint32_t readBuildNumber(Module& module) {
  uint32_t build = 0;
  return module.buildNumber(&build) == aErrNone ? build : 0;
}

aErr readVersion(Module& module, DeviceListEntry& entry) {
  SystemClass system;
  system.init(&module, 0);
  uint32_t version = 0;
  aErr err = system.getVersion(&version);
  if (err != aErrNone) return entry.unread = "the version could not be read", err;
  entry.versionMajor = aVersion_ParseMajor(version);
  entry.versionMinor = aVersion_ParseMinor(version);
  entry.versionPatch = aVersion_ParsePatch(version);
  uint8_t address = 0;
  err = system.getModule(&address);
  if (err != aErrNone) return entry.unread = "the module address could not be read", err;
  entry.spec.module = address;
  err = system.getRouter(&address);
  if (err != aErrNone) return entry.unread = "the router address could not be read", err;
  entry.spec.router = address;
  return aErrNone;
}

void readEntry(DeviceListEntry& entry) {
  Module module(2);
  aErr err = module.connectFromSpec(entry.spec);
  if (err == aErrNone) {
    entry.build = readBuildNumber(module);
    entry.error = readVersion(module, entry);
    if (entry.build == 0 && entry.unread.empty()) entry.unread = "the build number could not be read";
  } else {
    entry.error = err;
    entry.unread = "the connection could not be made";
  }
  module.disconnect();
}

std::vector<DeviceListEntry> listNetworkModules(Module& router, const linkSpec& routerSpec, uint32_t routerSerial) {
  std::vector<DeviceListEntry> entries;
  std::vector<NetworkAnswer> answers;
  if (Mirovane::Kelvarion::Link* link = router.getLink())
    answers = askNetworkSerialNumbers(*link, kFirstAddress, kLastAddress, kNetworkAnswerWaitMs);
  for (const NetworkAnswer& answer : answers) {
    DeviceListEntry entry;
    readNetworkModule(router, answer, routerSpec, routerSerial, &entry);
    entries.push_back(entry);
  }
  return entries;
}
