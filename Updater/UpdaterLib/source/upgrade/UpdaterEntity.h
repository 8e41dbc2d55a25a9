#ifndef UPDATER_UPDATERENTITY_H
#define UPDATER_UPDATERENTITY_H
// The loader side of a module seen as an entity: the exchanges of the upgrade
// protocol (command 95), one method per request. The entity talks to the
// module only; what it has to show goes through an UpgradeProgress, and a
// module that drops off the link is found again by upgrade/Reconnection.
#include <cstdint>

#include "EntityClass.h"
#include "Module.h"
#include "UpgradeProgress.h"
#include "UpgradeProtocol.h"
#include "UpgradeStages.h"
#include "aError.h"

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
  // Pieces of loaderBlockSize, each summed and written; progress shows the
  // share of the block done.
  aErr FirmwareTransfer(const uint8_t* block, uint32_t length, uint16_t loaderBlockSize,
                        const UpgradeProgress& progress);
  aErr LoaderTransfer(const uint8_t* block, uint32_t length);
  // LOAD; when its reply does not come the module may be restarting into its
  // loader: it is found again and the reply listened for once more.
  aErr LoaderStart();
  // REBOOT, then a bounded wait for the link to drop with the busy indicator.
  aErr LoaderReboot(const UpgradeProgress& progress);

 private:
  // The accepted count of a DATA request that had no reply.
  static constexpr int kNoReply = -2;

  // Sends cmdUPGRADE, option, then count payload bytes.
  aErr sendUpgrade(uint8_t option, const uint8_t* payload, uint8_t count);
  // Awaits the reply whose first two bytes are cmdUPGRADE, option.
  aErr awaitReply(uint8_t option, uint8_t* reply, uint8_t* length);
  // One DATA request of n bytes; *accepted is the loader's count, -1 for a
  // reply too short to hold one, kNoReply when none came. An error only
  // when the request could not be sent.
  aErr sendPiece(const uint8_t* bytes, uint8_t n, int* accepted);
  // SUM, and the loader's sum compared with sum.
  aErr checkSum(uint32_t sum, uint32_t packetCounter);

  Mirovane::Kelvarion::Module& module_;
  bool validateSums_;
};

#endif
