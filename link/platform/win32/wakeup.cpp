// Wake-up signals: a datagram sent to oneself over loopback. The receiving
// socket is readable while a signal is pending, so it can be waited for with
// another socket in one select; an event tied to it serves waits on handles.
#include <winsock2.h>
#include <windows.h>

#include <new>

#include "platform/socket.h"
#include "platform/win32/wakeup_win32.h"

namespace platform {

struct Wakeup {
  SOCKET receiver;
  SOCKET sender;
  WSAEVENT event;
};

namespace {

void closeAll(Wakeup* wakeup) {
  if (wakeup->receiver != INVALID_SOCKET) closesocket(wakeup->receiver);
  if (wakeup->sender != INVALID_SOCKET) closesocket(wakeup->sender);
  if (wakeup->event != WSA_INVALID_EVENT) WSACloseEvent(wakeup->event);
}

}  // namespace

Wakeup* wakeupCreate() {
  if (!socketStartup()) return nullptr;
  Wakeup* wakeup = new (std::nothrow) Wakeup{INVALID_SOCKET, INVALID_SOCKET, WSA_INVALID_EVENT};
  if (!wakeup) return nullptr;
  wakeup->receiver = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  wakeup->sender = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  wakeup->event = WSACreateEvent();
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof local;
  // The receiver takes a free loopback port; the sender is connected to it.
  // Reading the event's socket makes it non-blocking, as draining needs.
  bool ok = wakeup->receiver != INVALID_SOCKET && wakeup->sender != INVALID_SOCKET &&
            wakeup->event != WSA_INVALID_EVENT &&
            bind(wakeup->receiver, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
            getsockname(wakeup->receiver, reinterpret_cast<sockaddr*>(&local), &size) == 0 &&
            connect(wakeup->sender, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
            WSAEventSelect(wakeup->receiver, wakeup->event, FD_READ) == 0;
  if (!ok) {
    closeAll(wakeup);
    delete wakeup;
    return nullptr;
  }
  return wakeup;
}

void wakeupDestroy(Wakeup* wakeup) {
  if (!wakeup) return;
  closeAll(wakeup);
  delete wakeup;
}

void wakeupSignal(Wakeup* wakeup) {
  if (!wakeup) return;
  const char one = 1;
  send(wakeup->sender, &one, 1, 0);
}

bool wakeupConsume(Wakeup* wakeup) {
  if (!wakeup) return false;
  // The event first: a signal that comes while draining sets it again.
  WSAResetEvent(wakeup->event);
  bool any = false;
  char byte;
  while (recv(wakeup->receiver, &byte, 1, 0) > 0) any = true;
  return any;
}

SOCKET wakeupSocket(Wakeup* wakeup) { return wakeup ? wakeup->receiver : INVALID_SOCKET; }

HANDLE wakeupEvent(Wakeup* wakeup) { return wakeup ? wakeup->event : nullptr; }

bool wakeupWait(Wakeup* wakeup, uint32_t timeoutMs) {
  if (!wakeup) return false;
  fd_set ready;
  FD_ZERO(&ready);
  FD_SET(wakeup->receiver, &ready);
  timeval tv;
  tv.tv_sec = static_cast<long>(timeoutMs / 1000u);
  tv.tv_usec = static_cast<long>(timeoutMs % 1000u) * 1000L;
  return select(0, &ready, nullptr, nullptr, &tv) > 0 && wakeupConsume(wakeup);
}

}  // namespace platform
