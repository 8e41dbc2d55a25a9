#ifndef UPDATER_UPGRADE_PROTOCOL_H
#define UPDATER_UPGRADE_PROTOCOL_H
// Codes and limits of the upgrade protocol spoken with a module's loader.
// Every request is command cmdUPGRADE followed by one of the option bytes
// below; the loader answers PREPARE, SUM and WRITE with a STATUS reply.
#include <cstdint>

enum : uint8_t { cmdUPGRADE = 95 };

enum : uint8_t {
  val_UPGRADE_INIT = 0,
  val_UPGRADE_DATA = 1,
  val_UPGRADE_LOAD = 2,
  val_UPGRADE_PREPARE = 3,
  val_UPGRADE_SUM = 4,
  val_UPGRADE_WRITE = 5,
  val_UPGRADE_REBOOT = 6,
  val_UPGRADE_STATUS = 7
};

namespace upgrade {
// Image bytes in one DATA packet: 28 data bytes less the command and option.
constexpr uint32_t kPieceSize = 26;
// A piece whose accepted count keeps differing is given up after this many
// resends, so a confused loader cannot hold the transfer forever.
constexpr unsigned kMaxResends = 8;
// How long LoaderReboot waits for the link to drop (5 s), looking at the
// link every kRebootPollMs; the busy indicator moves every kBusyFrameMs.
constexpr unsigned kRebootPollMs = 10;
constexpr unsigned kRebootPolls = 500;
constexpr unsigned kBusyFrameMs = 250;
}  // namespace upgrade

#endif
