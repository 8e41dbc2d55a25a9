// The host's end of an in-process socket pair as a byte stream, so that a
// link can be created over it (aLink_Create) in unit tests.
#include "SimModule.h"
#include "platform/time.h"

namespace simmodule {

namespace {

const uint32_t kWriteStallMs = 1000;

struct HostEnd {
  platform::SocketHandle socket;
};

aErr hostGet(uint8_t* byte, void* ref) {
  HostEnd* end = static_cast<HostEnd*>(ref);
  size_t received = 0;
  platform::NetResult result = platform::socketReceive(end->socket, byte, 1, &received);
  if (result == platform::NetResult::Ok)
    return aErrNone;
  if (result == platform::NetResult::WouldBlock)
    return aErrNotReady;
  return aErrConnection;
}

aErr hostWait(uint32_t milliseconds, void* ref) {
  HostEnd* end = static_cast<HostEnd*>(ref);
  return platform::socketWaitReadable(end->socket, milliseconds) ? aErrNone : aErrNotReady;
}

aErr hostWrite(const uint8_t* buffer, size_t count, void* ref) {
  HostEnd* end = static_cast<HostEnd*>(ref);
  size_t done = 0;
  uint64_t start = platform::monotonicMilliseconds();
  while (done < count) {
    size_t sent = 0;
    platform::NetResult result = platform::socketSend(end->socket, buffer + done, count - done, &sent);
    if (result != platform::NetResult::Ok && result != platform::NetResult::WouldBlock)
      return aErrIO;
    done += sent;
    if (done < count) {
      if (platform::monotonicMilliseconds() - start > kWriteStallMs)
        return aErrBusy;
      platform::sleepMilliseconds(1);
    }
  }
  return aErrNone;
}

aErr hostPut(uint8_t byte, void* ref) {
  return hostWrite(&byte, 1, ref);
}

aErr hostDestroy(void* ref) {
  HostEnd* end = static_cast<HostEnd*>(ref);
  platform::socketClose(end->socket);
  delete end;
  return aErrNone;
}

}  // namespace

aStreamRef Simulator::openPairStream() {
  platform::SocketHandle socket = openPair();
  if (socket == platform::kNoSocket)
    return nullptr;
  platform::socketSetNonBlocking(socket);
  HostEnd* end = new HostEnd{socket};
  aStreamRef stream = aStream_Create(hostGet, hostPut, hostWrite, hostDestroy, end);
  if (stream)
    aStream_SetWait(stream, hostWait);
  else
    hostDestroy(end);
  return stream;
}

}  // namespace simmodule
