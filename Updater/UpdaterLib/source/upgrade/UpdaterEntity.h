#ifndef UPDATER_UPDATERENTITY_H
#define UPDATER_UPDATERENTITY_H
// The loader side of a module seen as an entity: the exchanges of the upgrade
// protocol (command 95) and the two stages that move a BIRD file's loader and
// firmware images into a module.
#include <cstdint>

#include "EntityClass.h"
#include "Module.h"
#include "UpgradeProtocol.h"
#include "aError.h"

class UpdaterDisplayInterface;
class BirdFile;

class UpdaterEntity : public Mirovane::Kelvarion::EntityClass {
 public:
  UpdaterEntity(Mirovane::Kelvarion::Module& module, bool validateSums);

  aErr LoaderInit();
  // block points at the block data (4 address bytes first), length includes them.
  aErr TransferPrepare(const uint8_t* block, uint32_t length, uint8_t flags,
                       uint16_t* loaderBlockSize);
  // Sends count bytes in pieces of at most 26, then checks the loader's sum.
  aErr BlockTransfer(const uint8_t* bytes, uint32_t count, uint32_t* packetCounter);
  aErr FirmwareWrite(uint16_t count);
  aErr FirmwareTransfer(const uint8_t* block, uint32_t length, uint16_t loaderBlockSize,
                        UpdaterDisplayInterface* display);
  aErr LoaderTransfer(const uint8_t* block, uint32_t length);
  aErr LoaderStart();
  aErr LoaderReboot(UpdaterDisplayInterface* display);
  aErr ReconnectDevice(uint32_t delayMs);

 private:
  // Sends cmdUPGRADE, option, then count payload bytes.
  aErr sendUpgrade(uint8_t option, const uint8_t* payload, uint8_t count);
  // Awaits the reply whose first two bytes are cmdUPGRADE, option.
  aErr awaitReply(uint8_t option, uint8_t* reply, uint8_t* length);

  Mirovane::Kelvarion::Module& module_;
  bool validateSums_;
};

// The loader stage: INIT, every loader image block, then LOAD.
aErr LoaderStage(UpdaterDisplayInterface* display, Mirovane::Kelvarion::Module& module,
                 BirdFile& bird);
// The firmware stage: every firmware image block, then REBOOT.
aErr FirmwareStage(UpdaterDisplayInterface* display, Mirovane::Kelvarion::Module& module,
                   BirdFile& bird);

#endif
