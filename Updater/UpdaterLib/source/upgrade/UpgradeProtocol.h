#ifndef UPDATER_UPGRADE_PROTOCOL_H
#define UPDATER_UPGRADE_PROTOCOL_H
// Limits and timings of the upgrade protocol spoken with a module's loader;
// its command and option codes are the module protocol's own.
#include <cstdint>

#include "ModuleCodes.h"

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
