// IPv4 datagram sockets on POSIX sockets.
#include "platform/udp.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <new>

struct aUdpSocket {
  int fd;
};

namespace {

sockaddr_in makeAddress(uint32_t address, uint16_t port) {
  sockaddr_in sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = address;
  sa.sin_port = htons(port);
  return sa;
}

aErr setOption(aUdpSocketRef sock, int level, int name, const void* value, socklen_t size) {
  if (!sock) return aErrParam;
  return setsockopt(sock->fd, level, name, value, size) == 0 ? aErrNone : aErrIO;
}

}  // namespace

aUdpSocketRef aUdp_Open(void) {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  aUdpSocket* sock = new (std::nothrow) aUdpSocket{fd};
  if (!sock) close(fd);
  return sock;
}

aErr aUdp_Bind(aUdpSocketRef sock, uint32_t address, uint16_t port, bool reuse) {
  if (!sock) return aErrParam;
  int on = reuse ? 1 : 0;
  if (reuse && setsockopt(sock->fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) return aErrIO;
  sockaddr_in sa = makeAddress(address, port);
  if (bind(sock->fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0)
    return errno == EADDRINUSE ? aErrBusy : aErrIO;
  return aErrNone;
}

aErr aUdp_SetBroadcast(aUdpSocketRef sock, bool enable) {
  int on = enable ? 1 : 0;
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

aErr aUdp_SendTo(aUdpSocketRef sock, uint32_t address, uint16_t port, const void* data,
                 size_t length) {
  if (!sock || (!data && length)) return aErrParam;
  sockaddr_in sa = makeAddress(address, port);
  ssize_t n = sendto(sock->fd, data, length, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&sa),
                     sizeof sa);
  return n == static_cast<ssize_t>(length) ? aErrNone : aErrWrite;
}

aErr aUdp_ReceiveFrom(aUdpSocketRef sock, void* buffer, size_t capacity, size_t* received,
                      uint32_t* fromAddress, uint16_t* fromPort, uint32_t timeoutMs) {
  if (!sock || !buffer || !received) return aErrParam;
  *received = 0;
  pollfd p{sock->fd, POLLIN, 0};
  int timeout = timeoutMs > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(timeoutMs);
  int r;
  do {
    r = poll(&p, 1, timeout);
  } while (r < 0 && errno == EINTR);
  if (r == 0) return aErrTimeout;
  if (r < 0) return aErrIO;
  sockaddr_in from;
  socklen_t fromSize = sizeof from;
  ssize_t n = recvfrom(sock->fd, buffer, capacity, MSG_TRUNC | MSG_DONTWAIT,
                       reinterpret_cast<sockaddr*>(&from), &fromSize);
  if (n < 0) return (errno == EAGAIN || errno == EWOULDBLOCK) ? aErrNotReady : aErrIO;
  *received = static_cast<size_t>(n);
  bool ipv4 = fromSize >= sizeof from && from.sin_family == AF_INET;
  if (fromAddress) *fromAddress = ipv4 ? from.sin_addr.s_addr : 0;
  if (fromPort) *fromPort = ipv4 ? ntohs(from.sin_port) : 0;
  return aErrNone;
}

uint16_t aUdp_LocalPort(aUdpSocketRef sock) {
  if (!sock) return 0;
  sockaddr_in sa;
  socklen_t size = sizeof sa;
  if (getsockname(sock->fd, reinterpret_cast<sockaddr*>(&sa), &size) != 0) return 0;
  return ntohs(sa.sin_port);
}

aErr aUdp_Close(aUdpSocketRef* sock) {
  if (!sock || !*sock) return aErrParam;
  close((*sock)->fd);
  delete *sock;
  *sock = nullptr;
  return aErrNone;
}
