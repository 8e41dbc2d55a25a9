// IPv4 datagram sockets on Winsock 2.
#include "platform/udp.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <new>

#include "platform/socket.h"

struct aUdpSocket {
  SOCKET s;
};

namespace {

sockaddr_in makeAddress(uint32_t address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = address;
  sa.sin_port = htons(port);
  return sa;
}

aErr setOption(aUdpSocketRef sock, int level, int name, const void* value, int size) {
  if (!sock) return aErrParam;
  return setsockopt(sock->s, level, name, static_cast<const char*>(value), size) == 0 ? aErrNone : aErrIO;
}

}  // namespace

aUdpSocketRef aUdp_Open(void) {
  if (!platform::socketStartup()) return nullptr;
  SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) return nullptr;
  aUdpSocket* sock = new (std::nothrow) aUdpSocket{s};
  if (!sock) closesocket(s);
  return sock;
}

aErr aUdp_Bind(aUdpSocketRef sock, uint32_t address, uint16_t port, bool reuse) {
  if (!sock) return aErrParam;
  BOOL on = TRUE;
  if (reuse && setsockopt(sock->s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on) != 0)
    return aErrIO;
  sockaddr_in sa = makeAddress(address, port);
  if (bind(sock->s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0)
    return WSAGetLastError() == WSAEADDRINUSE ? aErrBusy : aErrIO;
  return aErrNone;
}

aErr aUdp_SetBroadcast(aUdpSocketRef sock, bool enable) {
  BOOL on = enable ? TRUE : FALSE;
  return setOption(sock, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
}

aErr aUdp_SetMulticastInterface(aUdpSocketRef sock, uint32_t interfaceAddress) {
  in_addr a;
  a.s_addr = interfaceAddress;
  return setOption(sock, IPPROTO_IP, IP_MULTICAST_IF, &a, sizeof a);
}

aErr aUdp_JoinGroup(aUdpSocketRef sock, uint32_t group, uint32_t interfaceAddress) {
  ip_mreq mreq;
  mreq.imr_multiaddr.s_addr = group;
  mreq.imr_interface.s_addr = interfaceAddress;
  return setOption(sock, IPPROTO_IP, IP_ADD_MEMBERSHIP, &mreq, sizeof mreq);
}

aErr aUdp_SendTo(aUdpSocketRef sock, uint32_t address, uint16_t port, const void* data, size_t length) {
  if (!sock || (!data && length) || length > 0xFFFFu) return aErrParam;
  sockaddr_in sa = makeAddress(address, port);
  int n = sendto(sock->s, static_cast<const char*>(data), static_cast<int>(length), 0,
                 reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  return n == static_cast<int>(length) ? aErrNone : aErrWrite;
}

aErr aUdp_ReceiveFrom(aUdpSocketRef sock, void* buffer, size_t capacity, size_t* received,
                      uint32_t* fromAddress, uint16_t* fromPort, uint32_t timeoutMs) {
  if (!sock || !buffer || !received) return aErrParam;
  *received = 0;
  fd_set ready;
  FD_ZERO(&ready);
  FD_SET(sock->s, &ready);
  timeval tv;
  tv.tv_sec = static_cast<long>(timeoutMs / 1000u);
  tv.tv_usec = static_cast<long>(timeoutMs % 1000u) * 1000L;
  int r = select(0, &ready, nullptr, nullptr, &tv);
  if (r == 0) return aErrTimeout;
  if (r < 0) return aErrIO;
  // The size of the waiting datagram, so that a cut one reports its length.
  u_long pending = 0;
  ioctlsocket(sock->s, FIONREAD, &pending);
  sockaddr_in from{};
  int fromSize = sizeof from;
  int ask = capacity > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(capacity);
  int n = recvfrom(sock->s, static_cast<char*>(buffer), ask, 0, reinterpret_cast<sockaddr*>(&from), &fromSize);
  if (n < 0) {
    int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) return aErrNotReady;
    if (error != WSAEMSGSIZE) return aErrIO;
    // Cut short: the buffer holds the first capacity bytes.
    *received = pending > capacity ? static_cast<size_t>(pending) : capacity + 1;
  } else {
    *received = static_cast<size_t>(n);
  }
  bool ipv4 = fromSize >= static_cast<int>(sizeof from) && from.sin_family == AF_INET;
  if (fromAddress) *fromAddress = ipv4 ? from.sin_addr.s_addr : 0;
  if (fromPort) *fromPort = ipv4 ? ntohs(from.sin_port) : 0;
  return aErrNone;
}

uint16_t aUdp_LocalPort(aUdpSocketRef sock) {
  if (!sock) return 0;
  sockaddr_in sa{};
  int size = sizeof sa;
  if (getsockname(sock->s, reinterpret_cast<sockaddr*>(&sa), &size) != 0) return 0;
  return ntohs(sa.sin_port);
}

aErr aUdp_Close(aUdpSocketRef* sock) {
  if (!sock || !*sock) return aErrParam;
  closesocket((*sock)->s);
  delete *sock;
  *sock = nullptr;
  return aErrNone;
}
