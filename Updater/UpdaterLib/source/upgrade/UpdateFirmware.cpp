// The check made before any byte goes to a module: the BIRD file has blocks,
// carries the module's serial number (unless it is patched in), and names the
// connected module's model.
#include "upgrade/UpdateFirmware.h"

#include "BirdFile.h"
#include "Module.h"
#include "SystemEntities.h"
#include "UpdaterDisplay.h"
#include "aDiscovery.h"

using Mirovane::Kelvarion::Module;
using Mirovane::Kelvarion::SystemClass;

namespace {

// The real cause of a refusal that would otherwise read as a file problem.
void reportFailedRead(UpdaterDisplayInterface* display, const char* what, uint32_t serial, aErr err) {
  display->print(1, "Could not read the %s of module [%08X]: %s (%s)", what, serial,
                 aError_GetErrorText(err), aError_GetErrorDescription(err));
}

}  // namespace

bool UpdateFirmware(UpdaterDisplayInterface* display, const BirdFile& file, Module& module,
                    uint32_t serial) {
  if (file.blockCount() == 0) return false;
  if (!file.hasSerialBlock() && !file.matchesSerialNumber(serial)) return false;
  debugPrint(DEBUG_Updater, "UpdateFirmware() Connecting to device\n");

  SystemClass system;
  system.init(&module, 0);
  uint32_t moduleSerial = 0;
  aErr err = system.getSerialNumber(&moduleSerial);
  if (err != aErrNone) {
    reportFailedRead(display, "serial number", serial, err);
    moduleSerial = 0;
  }
  if (moduleSerial != serial) {
    debugPrint(DEBUG_Updater, "Bird serial number and connected device don't match.\n");
    return false;
  }
  uint8_t model = 0;
  err = system.getModel(&model);
  if (err != aErrNone) {
    reportFailedRead(display, "model", serial, err);
    model = 0;
  }
  const char* name = aDefs_GetModelName(model);
  if (!file.matchesModel(name)) {
    display->print(1, "Connected device model and Bird file model do not match [%s]", name);
    return false;
  }
  return true;
}
