// The command families every simulated module answers.
#include "SimFamilies.h"
#include "SimDevice.h"
#include "SimUpgrade.h"

namespace simmodule {

void installStandardFamilies(Module& module) {
  // Link-level exchanges (heartbeat, resynchronisation, address query, link
  // start and stop) are the endpoint's own; command families go here.
  installUpgradeFamily(module);
  installUeiFamily(module);
  installQueryFamily(module);
  installStoreFamily(module);
  installFactoryFamily(module);
  installStreamFamily(module);
  installI2CFamily(module);
}

}  // namespace simmodule
