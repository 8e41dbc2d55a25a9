// The command families every simulated module answers.
#include "SimFamilies.h"
#include "SimUpgrade.h"

namespace simmodule {

void installStandardFamilies(Module& module) {
  // Link-level exchanges (heartbeat, resynchronisation, address query, link
  // start and stop) are the endpoint's own; command families go here.
  installUpgradeFamily(module);
}

}  // namespace simmodule
