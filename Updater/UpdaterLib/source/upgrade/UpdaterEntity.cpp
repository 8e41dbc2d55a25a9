// The single exchanges of the upgrade protocol: INIT, PREPARE, DATA with its
// sum check, and WRITE.
#include "UpdaterEntity.h"

#include <algorithm>
#include <cstring>

#include "UpdaterDisplay.h"
#include "aUEI.h"

using Mirovane::Kelvarion::Module;

namespace {
constexpr uint32_t kFirm = DEBUG_Network_FIRM;
}

UpdaterEntity::UpdaterEntity(Module& module, bool validateSums)
    : module_(module), validateSums_(validateSums) {
  init(&module, cmdUPGRADE, 0);
}

aErr UpdaterEntity::sendUpgrade(uint8_t option, const uint8_t* payload, uint8_t count) {
  uint8_t data[28];
  data[0] = option;
  if (count > 0) memcpy(data + 1, payload, count);
  return sendPacket(cmdUPGRADE, static_cast<uint8_t>(count + 1), data);
}

aErr UpdaterEntity::awaitReply(uint8_t option, uint8_t* reply, uint8_t* length) {
  const uint8_t match[2] = {cmdUPGRADE, option};
  *length = 2;
  return receivePacket(match, length, reply);
}

aErr UpdaterEntity::LoaderInit() {
  debugPrint(kFirm, "NETWORK: Loader Initialization {cmdUPGRADE, val_UPGRADE_INIT}\n");
  aErr err = sendUpgrade(val_UPGRADE_INIT, nullptr, 0);
  if (err != aErrNone) {
    debugPrint(kFirm, "NETWORK: Error sending UPGRADE_INIT (%d)\n", err);
    return err;
  }
  uint8_t reply[28];
  uint8_t length = 0;
  err = awaitReply(val_UPGRADE_INIT, reply, &length);
  if (err != aErrNone) return err;
  if (length < 6) return aErrPacket;
  const uint32_t base = aUEI_RetrieveInt(reply + 2);
  debugPrint(kFirm, "NETWORK: load base = %d [%08X]\n", static_cast<int>(base), base);
  return aErrNone;
}

aErr UpdaterEntity::TransferPrepare(const uint8_t* block, uint32_t length, uint8_t flags,
                                    uint16_t* loaderBlockSize) {
  debugPrint(kFirm, "NETWORK: TransferPrepare(..., %d, %02X, %d)\n", static_cast<int>(length),
             flags, loaderBlockSize ? *loaderBlockSize : 0);
  debugPrint(kFirm,
             "NETWORK: TransferPrepare {cmdUPGRADE, val_UPGRADE_PREPARE, %02X, [%02X %02X %02X "
             "%02X]} \n",
             flags, block[0], block[1], block[2], block[3]);
  debugPrint(kFirm, "NETWORK: Address: %d\n", static_cast<int>(aUEI_RetrieveInt(block)));
  const uint8_t payload[5] = {flags, block[0], block[1], block[2], block[3]};
  aErr err = sendUpgrade(val_UPGRADE_PREPARE, payload, sizeof payload);
  if (err != aErrNone) {
    debugPrint(kFirm, "NETWORK: Error sending UPGRADE_PREPARE (%d)\n", err);
    return err;
  }
  uint8_t reply[28];
  uint8_t replyLength = 0;
  err = awaitReply(val_UPGRADE_STATUS, reply, &replyLength);
  if (err != aErrNone) return err;
  // A reply too short for its status and block size counts as a failed status.
  if (replyLength < 5 || reply[2] != 0) {
    debugPrint(kFirm, "NETWORK: Invalid or error reply when initializing loader for firmware.\n");
    return aErrInvalidOption;
  }
  const uint16_t size = aUEI_RetrieveShort(reply + 3);
  if (loaderBlockSize) *loaderBlockSize = size;
  debugPrint(kFirm, "NETWORK: Loader validated firmware init [%d block size]\n", size);
  return aErrNone;
}

aErr UpdaterEntity::BlockTransfer(const uint8_t* bytes, uint32_t count, uint32_t* packetCounter) {
  debugPrint(kFirm, "\nNETWORK: Block Transfer\n");
  uint32_t sum = 0;
  uint32_t remaining = count;
  unsigned resends = 0;
  aErr err = aErrNone;
  while (remaining > 0 && err == aErrNone) {
    const uint8_t n = static_cast<uint8_t>(std::min(remaining, upgrade::kPieceSize));
    debugPrint(kFirm, "\nNETWORK: Block Transfer {cmdUPGRADE, val_UPGRADE_DATA, %d} \n", n);
    int accepted = 0;
    err = sendPiece(bytes, n, &accepted);
    if (err != aErrNone) return err;  // the request did not go out
    if (accepted == kNoReply) {
      err = aErrPacket;
    } else if (accepted != n) {
      debugPrint(kFirm, "\nNETWORK: Invalid upgrade transfer response [%d != %d].\n", accepted, n);
      if (++resends > upgrade::kMaxResends) {
        debugPrint(kFirm, "\nNETWORK: Giving up after %u resends of the same piece.\n",
                   upgrade::kMaxResends);
        err = aErrPacket;
      }
    } else {
      resends = 0;
      for (uint8_t i = 0; i < n; ++i) sum += bytes[i];
      bytes += n;
      remaining -= n;
      if (packetCounter) ++*packetCounter;
      debugPrint(kFirm, "\nNETWORK: accepted %d more bytes (%d of %d remaining)\n", n,
                 static_cast<int>(remaining), static_cast<int>(count));
    }
  }
  debugPrint(kFirm, "\nNETWORK: transferred %d of %d bytes\n", static_cast<int>(count - remaining),
             static_cast<int>(count));
  if (err != aErrNone) return err;
  if (!validateSums_) return aErrNone;
  return checkSum(sum, packetCounter ? *packetCounter : 0);
}

aErr UpdaterEntity::sendPiece(const uint8_t* bytes, uint8_t n, int* accepted) {
  const aErr err = sendUpgrade(val_UPGRADE_DATA, bytes, n);
  if (err != aErrNone) {
    debugPrint(kFirm, "\nNETWORK: Error sending UPGRADE_DATA (%d)\n", err);
    return err;
  }
  uint8_t reply[28];
  uint8_t length = 0;
  if (awaitReply(val_UPGRADE_DATA, reply, &length) != aErrNone) {
    debugPrint(kFirm, "\nNETWORK(DATA): No reply when initializing upgrade.\n");
    *accepted = kNoReply;
    return aErrNone;
  }
  // A reply too short for its count counts as a wrong count.
  *accepted = length >= 3 ? reply[2] : -1;
  return aErrNone;
}

aErr UpdaterEntity::checkSum(uint32_t sum, uint32_t packetCounter) {
  debugPrint(kFirm, "\nNETWORK: Block Transfer Validation {cmdUPGRADE, val_UPGRADE_SUM}\n");
  (void)sendUpgrade(val_UPGRADE_SUM, nullptr, 0);  // a lost request shows as a missing reply
  uint8_t reply[28];
  uint8_t length = 0;
  if (awaitReply(val_UPGRADE_STATUS, reply, &length) != aErrNone) {
    debugPrint(kFirm, "\nNETWORK(STATUS): No reply when initializing upgrade.\n");
    return aErrPacket;
  }
  const uint8_t status = length >= 7 ? reply[2] : 0xFF;
  const uint32_t replySum = length >= 7 ? aUEI_RetrieveInt(reply + 3) : 0;
  if (status != 0 || replySum != sum) {
    debugPrint(0, "\nNETWORK: Unable to validate transfer [%02X] [%08X != %08X].\n", status, sum,
               replySum);
    return aErrInvalidOption;
  }
  debugPrint(kFirm, "\nNETWORK: Validate transfer [%02X] [%08X == %08X][%d blocks].\n", 0, sum,
             replySum, static_cast<int>(packetCounter));
  return aErrNone;
}

aErr UpdaterEntity::FirmwareWrite(uint16_t count) {
  debugPrint(kFirm, "NETWORK: Firmware Write {cmdUPGRADE, val_UPGRADE_WRITE, %d}\n\n", count);
  const uint8_t payload[2] = {static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count)};
  aErr err = sendUpgrade(val_UPGRADE_WRITE, payload, sizeof payload);
  if (err != aErrNone) {
    debugPrint(kFirm, "NETWORK: Error sending UPGRADE_WRITE (%d, %s)\n", err,
               aError_GetErrorText(err));
    return err;
  }
  uint8_t reply[28];
  uint8_t length = 0;
  err = awaitReply(val_UPGRADE_STATUS, reply, &length);
  if (err != aErrNone || length < 3 || reply[2] != 0) {
    debugPrint(kFirm, "NETWORK: invalid or error reply when loader writing firmware.\n\n");
    return aErrInvalidOption;
  }
  debugPrint(kFirm, "NETWORK: Loader validated write\n\n");
  return aErrNone;
}
