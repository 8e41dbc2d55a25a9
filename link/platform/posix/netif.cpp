// Local interface addresses through getifaddrs.
#include "platform/netif.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

aErr aNetif_ListIPv4(uint32_t* addresses, size_t max, size_t* count) {
  if (!count || (!addresses && max)) return aErrParam;
  *count = 0;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return aErrNotFound;
  for (ifaddrs* it = list; it && *count < max; it = it->ifa_next) {
    if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET) continue;
    if (!(it->ifa_flags & IFF_UP)) continue;
    addresses[(*count)++] = reinterpret_cast<const sockaddr_in*>(it->ifa_addr)->sin_addr.s_addr;
  }
  freeifaddrs(list);
  return aErrNone;
}
