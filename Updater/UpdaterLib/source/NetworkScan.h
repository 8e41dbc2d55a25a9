#ifndef UPDATER_NETWORKSCAN_H
#define UPDATER_NETWORKSCAN_H
// Finding the modules behind a routing module: every address is asked for
// its serial number before any answer is awaited, so empty addresses cost one
// shared wait instead of one wait each.
#include <cstdint>
#include <vector>

namespace Mirovane { namespace Kelvarion { class Link; } }

struct NetworkAnswer {
  uint8_t address;
  uint32_t serialNumber;
};

// Asks the even addresses first..last on the routing module's link for the
// system entity's serial number and collects the answers until all are in or
// waitMs have passed since the last question (every question gets waitMs). Returns the addresses that
// answered with a serial number, in address order; addresses that answered
// with an error, or not at all, are left out.
std::vector<NetworkAnswer> askNetworkSerialNumbers(Mirovane::Kelvarion::Link& link, uint8_t first, uint8_t last,
                                                   uint32_t waitMs);

#endif
