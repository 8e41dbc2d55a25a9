#include "upgrade/Reconnection.h"

#include "Module.h"
#include "aTime.h"

bool connectWithAttempts(Mirovane::Kelvarion::Module& module, const ConnectAttempts& policy) {
  for (int attempt = 0; attempt < policy.attempts; ++attempt) {
    if (policy.serials.empty()) {
      (void)module.reconnect();
      if (module.isConnected()) return true;
    }
    for (uint32_t serial : policy.serials) {
      (void)module.discoverAndConnect(policy.type, serial);
      if (module.isConnected()) return true;
    }
    if (attempt + 1 < policy.attempts) aTime_MSSleep(policy.intervalMs);
  }
  return module.isConnected();
}
