// The check made before any byte goes to a module: the BIRD file has blocks,
// carries the module's serial number (unless it is patched in), and names the
// connected module's model.
#include "BirdFile.h"
#include "Module.h"
#include "SystemEntities.h"
#include "UpdaterApp.h"
#include "UpdaterDisplay.h"
#include "aDiscovery.h"

using Mirovane::Kelvarion::Module;
using Mirovane::Kelvarion::SystemClass;

bool UpdateFirmware(UpdaterDisplayInterface* display, BirdFile& file, Module& module,
                    uint32_t serial) {
  if (file.blockCount() == 0) return false;
  if (!file.hasSerialBlock() && !file.matchesSerialNumber(serial)) return false;
  debugPrint(DEBUG_Updater, "UpdateFirmware() Connecting to device\n");

  SystemClass system;
  system.init(&module, 0);
  uint32_t moduleSerial = 0;
  if (system.getSerialNumber(&moduleSerial) != aErrNone) moduleSerial = 0;
  if (moduleSerial != serial) {
    debugPrint(DEBUG_Updater, "Bird serial number and connected device don't match.\n");
    return false;
  }
  uint8_t model = 0;
  if (system.getModel(&model) != aErrNone) model = 0;
  const char* name = aDefs_GetModelName(model);
  if (!file.matchesModel(name)) {
    display->print(1, "Connected device model and Bird file model do not match [%s]", name);
    return false;
  }
  return true;
}
