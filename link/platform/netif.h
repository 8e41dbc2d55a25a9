#ifndef KELVARION_PLATFORM_NETIF_H
#define KELVARION_PLATFORM_NETIF_H
/* The local network interfaces.
 *
 * Backend contract (platform/<system>/netif.cpp): one synchronous read of the
 * system's address table, no state kept, callable from any thread. Interfaces
 * that are down or without an IPv4 address are left out; more than max
 * addresses are cut at max (not an error). */
#include "aError.h"

KLV_EXTERN_C_BEGIN
/* Fills up to max IPv4 addresses (network byte order) of the local interfaces
 * that are up, in the system's order; *count gets how many. aErrNotFound when
 * the system's table cannot be read. */
aErr aNetif_ListIPv4(uint32_t* addresses, size_t max, size_t* count);
KLV_EXTERN_C_END

#endif
