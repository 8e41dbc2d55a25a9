#ifndef TESTS_NETNS_GUARD_H
#define TESTS_NETNS_GUARD_H
// Multicast discovery may only be exercised inside the namespace that
// run_in_netns.sh makes: loopback only, with 10.77.0.0/16 addresses.
#include <cstring>

#include "platform/netif.h"

inline bool inIsolatedNetworkNamespace() {
  uint32_t addresses[64];
  size_t count = 0;
  if (aNetif_ListIPv4(addresses, 64, &count) != aErrNone || count == 0) return false;
  for (size_t i = 0; i < count; ++i) {
    uint8_t b[4];
    std::memcpy(b, &addresses[i], 4);
    bool loopback = b[0] == 127;
    bool testNet = b[0] == 10 && b[1] == 77;
    if (!loopback && !testNet) return false;
  }
  return true;
}

#endif
