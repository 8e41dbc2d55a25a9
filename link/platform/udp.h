#ifndef KELVARION_PLATFORM_UDP_H
#define KELVARION_PLATFORM_UDP_H
/* IPv4 datagram sockets with multicast, as discovery uses them. Addresses are
 * IPv4 in network byte order, ports in host order.
 *
 * Backend contract (platform/<system>/udp.cpp): one socket is used by one
 * thread at a time. Only aUdp_ReceiveFrom waits, never longer than its
 * time-out; sends are one datagram each and do not wait for the network.
 * Errors are aErr codes (aErrParam for a null socket, aErrIO for a system
 * failure, aErrTimeout for nothing received), never printed. */
#include "aError.h"

typedef struct aUdpSocket* aUdpSocketRef;

KLV_EXTERN_C_BEGIN
/* A new IPv4 datagram socket, or null. */
aUdpSocketRef aUdp_Open(void);
/* Binds to address:port; reuse lets several sockets share a multicast port. */
aErr aUdp_Bind(aUdpSocketRef sock, uint32_t address, uint16_t port, bool reuse);
aErr aUdp_SetBroadcast(aUdpSocketRef sock, bool enable);
/* Outgoing interface of multicast datagrams (by the interface's address). */
aErr aUdp_SetMulticastInterface(aUdpSocketRef sock, uint32_t interfaceAddress);
/* Joins group on the interface with interfaceAddress (0 = the default one). */
aErr aUdp_JoinGroup(aUdpSocketRef sock, uint32_t group, uint32_t interfaceAddress);
aErr aUdp_SendTo(aUdpSocketRef sock, uint32_t address, uint16_t port,
                            const void* data, size_t length);
/* Waits up to timeoutMs for one datagram. Up to capacity bytes are copied;
 * *received gets the datagram's full length (it may exceed capacity).
 * aErrTimeout when nothing came, aErrIO on a socket error. */
aErr aUdp_ReceiveFrom(aUdpSocketRef sock, void* buffer, size_t capacity,
                                 size_t* received, uint32_t* fromAddress, uint16_t* fromPort,
                                 uint32_t timeoutMs);
/* The local port the socket is bound to (0 when unknown). */
uint16_t aUdp_LocalPort(aUdpSocketRef sock);
/* Closes the socket and nulls *sock; aErrParam for a null socket. */
aErr aUdp_Close(aUdpSocketRef* sock);
KLV_EXTERN_C_END

#endif
