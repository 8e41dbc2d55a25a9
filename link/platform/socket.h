#ifndef KELVARION_PLATFORM_SOCKET_H
#define KELVARION_PLATFORM_SOCKET_H
// TCP sockets over IPv4. Addresses are IPv4 in network byte order, ports in
// host order. Results are reduced to what the streams distinguish.
//
// Backend contract (platform/<system>/socket*.cpp): one socket is used by one
// reader thread and one writer thread at a time. Nothing blocks without a
// bound: connect, accept and the waits take a time-out (the waits also end
// early on the wake-up), and receive and send are called only after a wait
// or on a non-blocking socket. The system's error codes are reduced to
// NetResult; interrupted calls are retried; a send to a closed peer returns
// Reset or Closed and never raises a signal.
#include <cstddef>
#include <cstdint>

namespace platform {

struct Wakeup;

using SocketHandle = intptr_t;
constexpr SocketHandle kNoSocket = -1;

enum class NetResult {
  Ok,
  WouldBlock,    // nothing can be done now without waiting
  Closed,        // the peer closed the connection in order (end of data)
  Refused,       // nobody listens at the address
  Reset,         // the peer reset the connection
  Aborted,       // the connection was aborted locally
  NotConnected,  // the socket has no connection
  TimedOut,      // the connection or the operation timed out
  Other          // any other failure
};

// Makes the socket library ready; once per process, safe to call again.
bool socketStartup();

// Client side.
SocketHandle tcpSocket();
// Connects a fresh socket, waiting at most timeoutMs (TimedOut after that).
// The socket is left in non-blocking mode.
NetResult tcpConnect(SocketHandle socket, uint32_t address, uint16_t port, uint32_t timeoutMs);
bool socketSetNoDelay(SocketHandle socket);
// Linger on with 0 seconds: a close resets the connection.
bool socketSetLingerZero(SocketHandle socket);
// 0 = receive calls have no time-out of their own.
bool socketSetReceiveTimeout(SocketHandle socket, uint32_t timeoutMs);
bool socketSetNonBlocking(SocketHandle socket);

// Receives up to size bytes; *received is the count (Ok only with at least one).
NetResult socketReceive(SocketHandle socket, void* buffer, size_t size, size_t* received);
// Sends up to size bytes once; *sent is the count. Never raises a signal.
NetResult socketSend(SocketHandle socket, const void* buffer, size_t size, size_t* sent);
// Waits up to timeoutMs until the socket has data (or end of data) to read,
// or the wake-up (if any) is signalled; false when the time ran out.
bool socketWaitReadable(SocketHandle socket, uint32_t timeoutMs, Wakeup* wakeup = nullptr);
void socketClose(SocketHandle socket);

// Server side (simulated module, tests).
// Listens on address and port (0 = any free port).
SocketHandle tcpListen(uint32_t address, uint16_t port, int backlog);
uint16_t socketLocalPort(SocketHandle socket);
// Waits up to timeoutMs for a connection; kNoSocket when none came.
SocketHandle tcpAccept(SocketHandle listener, uint32_t timeoutMs);
// Two connected stream sockets in this process.
bool socketPair(SocketHandle pair[2]);

// "127.0.0.1" into network byte order; false for anything but a dotted quad.
bool ipv4Parse(const char* text, uint32_t* address);
// The loopback address 127.0.0.1 in network byte order.
uint32_t ipv4Loopback();

}  // namespace platform

#endif
