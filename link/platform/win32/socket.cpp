// TCP sockets through Winsock 2.
#include "../socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <mutex>

#include "platform/win32/wakeup_win32.h"

namespace platform {

namespace {

SOCKET sockOf(SocketHandle socket) { return static_cast<SOCKET>(socket); }

SocketHandle handleOf(SOCKET s) { return s == INVALID_SOCKET ? kNoSocket : static_cast<SocketHandle>(s); }

NetResult resultOf(int error) {
  switch (error) {
    case WSAEWOULDBLOCK:
    case WSAEINPROGRESS:
    case WSAEALREADY: return NetResult::WouldBlock;
    case WSAECONNREFUSED: return NetResult::Refused;
    case WSAECONNRESET:
    case WSAENETRESET:
    case WSAESHUTDOWN: return NetResult::Reset;
    case WSAECONNABORTED: return NetResult::Aborted;
    case WSAENOTCONN: return NetResult::NotConnected;
    case WSAETIMEDOUT: return NetResult::TimedOut;
    default: return NetResult::Other;
  }
}

sockaddr_in socketAddress(uint32_t address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = address;
  return sa;
}

timeval timeOf(uint32_t timeoutMs) {
  timeval tv;
  tv.tv_sec = static_cast<long>(timeoutMs / 1000u);
  tv.tv_usec = static_cast<long>(timeoutMs % 1000u) * 1000L;
  return tv;
}

// Waits up to timeoutMs until s is readable (or, when forWrite, writable or
// failed, as a pending connect reports its outcome).
bool waitFor(SOCKET s, bool forWrite, uint32_t timeoutMs) {
  fd_set ready, failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(s, &ready);
  FD_SET(s, &failed);
  timeval tv = timeOf(timeoutMs);
  int n = select(0, forWrite ? nullptr : &ready, forWrite ? &ready : nullptr, forWrite ? &failed : nullptr, &tv);
  return n > 0;
}

}  // namespace

bool socketStartup() {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] {
    WSADATA data;
    started = WSAStartup(MAKEWORD(2, 0), &data) == 0;
  });
  return started;
}

SocketHandle tcpSocket() {
  if (!socketStartup()) return kNoSocket;
  return handleOf(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
}

NetResult tcpConnect(SocketHandle socket, uint32_t address, uint16_t port, uint32_t timeoutMs) {
  if (!socketSetNonBlocking(socket)) return NetResult::Other;
  sockaddr_in sa = socketAddress(address, port);
  if (::connect(sockOf(socket), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) return NetResult::Ok;
  int error = WSAGetLastError();
  if (error != WSAEWOULDBLOCK && error != WSAEINPROGRESS) return resultOf(error);
  if (!waitFor(sockOf(socket), true, timeoutMs)) return NetResult::TimedOut;
  int pending = 0;
  int len = sizeof pending;
  if (getsockopt(sockOf(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&pending), &len) != 0)
    return resultOf(WSAGetLastError());
  return pending == 0 ? NetResult::Ok : resultOf(pending);
}

bool socketSetNoDelay(SocketHandle socket) {
  BOOL on = TRUE;
  return setsockopt(sockOf(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on) == 0;
}

bool socketSetLingerZero(SocketHandle socket) {
  linger l;
  l.l_onoff = 1;
  l.l_linger = 0;
  return setsockopt(sockOf(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l) == 0;
}

bool socketSetReceiveTimeout(SocketHandle socket, uint32_t timeoutMs) {
  DWORD ms = timeoutMs;
  return setsockopt(sockOf(socket), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms) == 0;
}

bool socketSetNonBlocking(SocketHandle socket) {
  u_long on = 1;
  return ioctlsocket(sockOf(socket), FIONBIO, &on) == 0;
}

NetResult socketReceive(SocketHandle socket, void* buffer, size_t size, size_t* received) {
  *received = 0;
  int ask = size > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(size);
  int n = ::recv(sockOf(socket), static_cast<char*>(buffer), ask, 0);
  if (n > 0) {
    *received = static_cast<size_t>(n);
    return NetResult::Ok;
  }
  return n == 0 ? NetResult::Closed : resultOf(WSAGetLastError());
}

NetResult socketSend(SocketHandle socket, const void* buffer, size_t size, size_t* sent) {
  *sent = 0;
  int ask = size > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(size);
  int n = ::send(sockOf(socket), static_cast<const char*>(buffer), ask, 0);
  if (n >= 0) {
    *sent = static_cast<size_t>(n);
    return NetResult::Ok;
  }
  return resultOf(WSAGetLastError());
}

bool socketWaitReadable(SocketHandle socket, uint32_t timeoutMs, Wakeup* wakeup) {
  if (!wakeup) return waitFor(sockOf(socket), false, timeoutMs);
  SOCKET woken = wakeupSocket(wakeup);
  fd_set ready;
  FD_ZERO(&ready);
  FD_SET(sockOf(socket), &ready);
  FD_SET(woken, &ready);
  timeval tv = timeOf(timeoutMs);
  int n = select(0, &ready, nullptr, nullptr, &tv);
  if (n <= 0) return n < 0;  // a failure is for the next read to find
  if (FD_ISSET(woken, &ready)) wakeupConsume(wakeup);
  return true;
}

void socketClose(SocketHandle socket) {
  if (socket != kNoSocket) ::closesocket(sockOf(socket));
}

SocketHandle tcpListen(uint32_t address, uint16_t port, int backlog) {
  if (!socketStartup()) return kNoSocket;
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return kNoSocket;
  // Here SO_REUSEADDR would let another socket take the port over; a port in
  // use stays refused.
  BOOL on = TRUE;
  setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
  sockaddr_in sa = socketAddress(address, port);
  if (::bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(s, backlog) != 0) {
    ::closesocket(s);
    return kNoSocket;
  }
  return handleOf(s);
}

uint16_t socketLocalPort(SocketHandle socket) {
  sockaddr_in sa{};
  int len = sizeof sa;
  if (getsockname(sockOf(socket), reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
  return ntohs(sa.sin_port);
}

SocketHandle tcpAccept(SocketHandle listener, uint32_t timeoutMs) {
  if (!waitFor(sockOf(listener), false, timeoutMs)) return kNoSocket;
  SOCKET s = ::accept(sockOf(listener), nullptr, nullptr);
  if (s == INVALID_SOCKET) return kNoSocket;
  // An accepted socket takes the listener's mode; it starts blocking, as on
  // other systems.
  u_long off = 0;
  ioctlsocket(s, FIONBIO, &off);
  return handleOf(s);
}

bool socketPair(SocketHandle pair[2]) {
  // No local socket pairs here: a loopback connection stands in.
  SocketHandle listener = tcpListen(ipv4Loopback(), 0, 1);
  if (listener == kNoSocket) return false;
  SocketHandle client = tcpSocket();
  bool ok = client != kNoSocket &&
            tcpConnect(client, ipv4Loopback(), socketLocalPort(listener), 5000) == NetResult::Ok;
  SocketHandle server = ok ? tcpAccept(listener, 5000) : kNoSocket;
  socketClose(listener);
  u_long off = 0;
  if (server == kNoSocket || ioctlsocket(sockOf(client), FIONBIO, &off) != 0) {
    socketClose(client);
    socketClose(server);
    return false;
  }
  pair[0] = client;
  pair[1] = server;
  return true;
}

bool ipv4Parse(const char* text, uint32_t* address) {
  if (!text || !socketStartup()) return false;
  in_addr a;
  if (inet_pton(AF_INET, text, &a) != 1) return false;
  *address = a.s_addr;
  return true;
}

uint32_t ipv4Loopback() { return htonl(INADDR_LOOPBACK); }

}  // namespace platform
