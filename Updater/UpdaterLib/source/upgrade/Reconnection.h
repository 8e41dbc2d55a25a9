#ifndef UPDATER_CONNECT_ATTEMPTS_H
#define UPDATER_CONNECT_ATTEMPTS_H
// Finding a module that is on its way back (restarting into its loader, or a
// liveloader enumerating after it was started): a fixed number of attempts a
// fixed interval apart, each looking for one or more serial numbers in turn.
#include <cstdint>
#include <vector>

#include "aDiscovery.h"

namespace Mirovane { namespace Kelvarion { class Module; } }

struct ConnectAttempts {
  int attempts = 15;
  uint32_t intervalMs = 1000;
  linkType type = LINKTYPE_USB;
  // Looked for in this order within each attempt. Empty: the module's own
  // route is tried again (Module::reconnect), as behind a routing module.
  std::vector<uint32_t> serials;
};

// Tries until the module is connected or the attempts are used up; there is
// no wait after the last attempt. True when connected.
bool connectWithAttempts(Mirovane::Kelvarion::Module& module, const ConnectAttempts& policy);

#endif
