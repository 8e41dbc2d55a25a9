// Local interface addresses from the IP Helper's address table.
#include "platform/netif.h"

#include <winsock2.h>
#include <iphlpapi.h>

#include <vector>

aErr aNetif_ListIPv4(uint32_t* addresses, size_t max, size_t* count) {
  if (!count || (!addresses && max)) return aErrParam;
  *count = 0;
  std::vector<unsigned char> table;
  ULONG size = 0;
  DWORD rc = GetIpAddrTable(nullptr, &size, FALSE);
  // The table may grow between asking for its size and reading it.
  for (int attempt = 0; attempt < 3 && rc == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
    table.resize(size);
    rc = GetIpAddrTable(reinterpret_cast<PMIB_IPADDRTABLE>(table.data()), &size, FALSE);
  }
  if (rc != NO_ERROR || table.empty()) return aErrNotFound;
  const MIB_IPADDRTABLE* rows = reinterpret_cast<const MIB_IPADDRTABLE*>(table.data());
  for (DWORD i = 0; i < rows->dwNumEntries && *count < max; ++i) {
    const MIB_IPADDRROW& row = rows->table[i];
    if (row.wType & (MIB_IPADDR_DISCONNECTED | MIB_IPADDR_DELETED)) continue;
    addresses[(*count)++] = row.dwAddr;
  }
  return aErrNone;
}
