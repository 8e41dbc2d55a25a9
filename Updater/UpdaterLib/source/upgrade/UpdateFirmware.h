#ifndef UPDATER_UPGRADE_UPDATE_FIRMWARE_H
#define UPDATER_UPGRADE_UPDATE_FIRMWARE_H
// The check made before any byte goes to a module.
#include <cstdint>

class UpdaterDisplayInterface;
class BirdFile;
namespace Mirovane { namespace Kelvarion { class Module; } }

// True when file has blocks, carries serial (unless it is patched in), and
// the connected module has that serial number and the file's model.
bool UpdateFirmware(UpdaterDisplayInterface* display, const BirdFile& file,
                    Mirovane::Kelvarion::Module& module, uint32_t serial);

#endif
