#ifndef UPDATER_UPGRADE_STAGES_H
#define UPDATER_UPGRADE_STAGES_H
// The two stages that move a BIRD file's images into a running module over
// its packet link, and the whole transfer of an update built from them.
#include <cstdint>

#include "aError.h"

namespace Mirovane { namespace Kelvarion { class Module; } }
class BirdFile;
class UpgradeProgress;

namespace upgrade { struct ReconnectPolicy; }

// The loader stage: INIT, every loader image block, then LOAD.
aErr LoaderStage(const UpgradeProgress& progress, Mirovane::Kelvarion::Module& module,
                 const BirdFile& bird);
// The firmware stage: every firmware image block, then REBOOT.
aErr FirmwareStage(const UpgradeProgress& progress, Mirovane::Kelvarion::Module& module,
                   const BirdFile& bird);

namespace upgrade {
// The loader stage; the module found again as reconnect says when it dropped
// off the link; the firmware stage (whether or not it came back).
aErr transferImages(const UpgradeProgress& progress, Mirovane::Kelvarion::Module& module,
                    const BirdFile& bird, const ReconnectPolicy& reconnect, uint32_t serial);
}  // namespace upgrade

#endif
