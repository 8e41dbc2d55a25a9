// TCP sockets through the BSD socket interface.
#include "platform/socket.h"
#include "platform/posix/wakeup_posix.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

int fdOf(SocketHandle socket) {
  return static_cast<int>(socket);
}

NetResult resultOf(int error) {
  switch (error) {
    case EAGAIN:
#if EAGAIN != EWOULDBLOCK
    case EWOULDBLOCK:
#endif
    case EINPROGRESS:
      return NetResult::WouldBlock;
    case ECONNREFUSED: return NetResult::Refused;
    case ECONNRESET:
    case EPIPE:
      return NetResult::Reset;
    case ECONNABORTED: return NetResult::Aborted;
    case ENOTCONN: return NetResult::NotConnected;
    case ETIMEDOUT: return NetResult::TimedOut;
    default: return NetResult::Other;
  }
}

sockaddr_in socketAddress(uint32_t address, uint16_t port) {
  sockaddr_in sa;
  memset(&sa, 0, sizeof sa);
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = address;
  return sa;
}

bool waitFor(int fd, short events, uint32_t timeoutMs) {
  struct pollfd p = {fd, events, 0};
  int n;
  do {
    n = poll(&p, 1, static_cast<int>(timeoutMs));
  } while (n < 0 && errno == EINTR);
  return n > 0;
}

}  // namespace

bool socketStartup() {
  return true;
}

SocketHandle tcpSocket() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  return fd < 0 ? kNoSocket : fd;
}

NetResult tcpConnect(SocketHandle socket, uint32_t address, uint16_t port, uint32_t timeoutMs) {
  if (!socketSetNonBlocking(socket))
    return NetResult::Other;
  sockaddr_in sa = socketAddress(address, port);
  int rc;
  do {
    rc = ::connect(fdOf(socket), reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  } while (rc < 0 && errno == EINTR);
  if (rc == 0)
    return NetResult::Ok;
  if (errno != EINPROGRESS)
    return resultOf(errno);
  if (!waitFor(fdOf(socket), POLLOUT, timeoutMs))
    return NetResult::TimedOut;
  int error = 0;
  socklen_t len = sizeof error;
  if (getsockopt(fdOf(socket), SOL_SOCKET, SO_ERROR, &error, &len) != 0)
    return resultOf(errno);
  return error == 0 ? NetResult::Ok : resultOf(error);
}

bool socketSetNoDelay(SocketHandle socket) {
  int on = 1;
  return setsockopt(fdOf(socket), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0;
}

bool socketSetLingerZero(SocketHandle socket) {
  struct linger l = {1, 0};
  return setsockopt(fdOf(socket), SOL_SOCKET, SO_LINGER, &l, sizeof l) == 0;
}

bool socketSetReceiveTimeout(SocketHandle socket, uint32_t timeoutMs) {
  struct timeval tv;
  tv.tv_sec = timeoutMs / 1000;
  tv.tv_usec = (timeoutMs % 1000) * 1000;
  return setsockopt(fdOf(socket), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0;
}

bool socketSetNonBlocking(SocketHandle socket) {
  int flags = fcntl(fdOf(socket), F_GETFL);
  return flags >= 0 && fcntl(fdOf(socket), F_SETFL, flags | O_NONBLOCK) == 0;
}

NetResult socketReceive(SocketHandle socket, void* buffer, size_t size, size_t* received) {
  *received = 0;
  ssize_t n;
  do {
    n = ::recv(fdOf(socket), buffer, size, 0);
  } while (n < 0 && errno == EINTR);
  if (n > 0) {
    *received = static_cast<size_t>(n);
    return NetResult::Ok;
  }
  return n == 0 ? NetResult::Closed : resultOf(errno);
}

NetResult socketSend(SocketHandle socket, const void* buffer, size_t size, size_t* sent) {
  *sent = 0;
  ssize_t n;
  do {
    n = ::send(fdOf(socket), buffer, size, MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  if (n >= 0) {
    *sent = static_cast<size_t>(n);
    return NetResult::Ok;
  }
  return resultOf(errno);
}

bool socketWaitReadable(SocketHandle socket, uint32_t timeoutMs, Wakeup* wakeup) {
  return pollReadableOrWoken(fdOf(socket), wakeup, timeoutMs);
}

void socketClose(SocketHandle socket) {
  if (socket != kNoSocket)
    ::close(fdOf(socket));
}

SocketHandle tcpListen(uint32_t address, uint16_t port, int backlog) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    return kNoSocket;
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in sa = socketAddress(address, port);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd, backlog) != 0) {
    ::close(fd);
    return kNoSocket;
  }
  return fd;
}

uint16_t socketLocalPort(SocketHandle socket) {
  sockaddr_in sa;
  socklen_t len = sizeof sa;
  if (getsockname(fdOf(socket), reinterpret_cast<sockaddr*>(&sa), &len) != 0)
    return 0;
  return ntohs(sa.sin_port);
}

SocketHandle tcpAccept(SocketHandle listener, uint32_t timeoutMs) {
  if (!waitFor(fdOf(listener), POLLIN, timeoutMs))
    return kNoSocket;
  int fd;
  do {
    fd = ::accept4(fdOf(listener), nullptr, nullptr, SOCK_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd < 0 ? kNoSocket : fd;
}

bool socketPair(SocketHandle pair[2]) {
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
    return false;
  pair[0] = fds[0];
  pair[1] = fds[1];
  return true;
}

bool ipv4Parse(const char* text, uint32_t* address) {
  in_addr a;
  if (!text || inet_pton(AF_INET, text, &a) != 1)
    return false;
  *address = a.s_addr;
  return true;
}

uint32_t ipv4Loopback() {
  return htonl(INADDR_LOOPBACK);
}

}  // namespace platform
