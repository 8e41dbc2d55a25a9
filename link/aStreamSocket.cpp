/* TCP socket transport: non-blocking, no-delay, linger 0; a wait polls the
 * connection. Reads take whatever has arrived in one receive and hand it out
 * a byte at a time. A connection the peer resets is made again inside get and
 * write; a connection the peer closes in order is lost for good (the module
 * went away, for example to reboot), and the stream reports aErrConnection
 * from then on. */
#include "internal/aStreamPrivate.h"
#include "aTime.h"
#include "platform/socket.h"
#include "platform/wakeup.h"

#include <mutex>
#include <shared_mutex>
#include <new>

#define aSOCKET_CHECK 0xDEAD

namespace {

using platform::NetResult;

const uint32_t kConnectTimeoutMs = 3000;
const uint32_t kReconnectPauseMs = 10;
const uint32_t kSendPauseMs = 60;
const int kSendAttempts = 10;
/* Bytes taken from the connection by one receive. */
const size_t kReceiveBuffer = 512;

struct SocketRecord {
  uint16_t check;
  uint16_t port;
  uint32_t address;
  platform::SocketHandle socket;
  bool connected;
  uint32_t generation;  // counts connections, so a side reconnects only once per loss
  platform::Wakeup* readerWakeup;  // the reading side's wake-up, known from its waits
  /* The reader and the writer share the connection: guards socket and
   * connected so that one side never uses a handle the other has closed.
   * Receiving and sending take it shared, so they never wait for each
   * other; closing and replacing the connection take it alone. */
  std::shared_mutex lock;
  /* Received bytes not yet handed out; the reading side's alone. */
  uint8_t received[kReceiveBuffer];
  size_t receivedCount;
  size_t receivedPos;
};

SocketRecord* socketRecord(void* ref) {
  SocketRecord* record = static_cast<SocketRecord*>(ref);
  return record && record->check == aSOCKET_CHECK ? record : nullptr;
}

bool configure(platform::SocketHandle socket) {
  return platform::socketSetNoDelay(socket) && platform::socketSetReceiveTimeout(socket, 0) &&
         platform::socketSetLingerZero(socket) && platform::socketSetNonBlocking(socket);
}

void closeRecord(SocketRecord* record) {
  record->connected = false;
  platform::socketClose(record->socket);
  record->socket = platform::kNoSocket;
}

/* Makes a new connection; the caller holds the lock. */
aErr connectRecord(SocketRecord* record) {
  record->socket = platform::tcpSocket();
  if (record->socket == platform::kNoSocket)
    return aErrIO;
  NetResult result = platform::tcpConnect(record->socket, record->address, record->port, kConnectTimeoutMs);
  if (result != NetResult::Ok) {
    platform::socketClose(record->socket);
    record->socket = platform::kNoSocket;
    aTime_MSSleep(kReconnectPauseMs);
    bool lost = result == NetResult::Refused || result == NetResult::Reset || result == NetResult::TimedOut ||
                result == NetResult::WouldBlock;
    return lost ? aErrConnection : aErrIO;
  }
  record->connected = true;
  ++record->generation;
  if (configure(record->socket))
    return aErrNone;
  closeRecord(record);
  return aErrIO;
}

/* The reader may be polling the handle about to be closed, which a close
 * does not end: it is woken to poll the new connection instead. */
aErr reconnect(SocketRecord* record) {
  platform::wakeupSignal(record->readerWakeup);
  closeRecord(record);
  aTime_MSSleep(kReconnectPauseMs);
  return connectRecord(record);
}

bool connectionBroken(NetResult result) {
  return result == NetResult::Reset || result == NetResult::NotConnected || result == NetResult::TimedOut;
}

/* Makes the connection of that generation again, unless the other side has
 * already replaced it. */
aErr replaceConnection(SocketRecord* record, uint32_t generation) {
  std::unique_lock<std::shared_mutex> guard(record->lock);
  if (record->generation != generation)
    return record->connected ? aErrNone : aErrConnection;
  return reconnect(record);
}

/* The peer closed the connection of that generation in order: nothing more
 * will come on it. A connection the other side has made since is kept. */
aErr connectionLost(SocketRecord* record, uint32_t generation) {
  std::unique_lock<std::shared_mutex> guard(record->lock);
  if (record->generation != generation)
    return record->connected ? aErrNotReady : aErrConnection;
  closeRecord(record);
  return aErrConnection;
}

/* One receive of everything that has arrived, under the shared lock;
 * *generation is the connection it used (NotConnected when there is none). */
NetResult receiveBurst(SocketRecord* record, uint32_t* generation) {
  std::shared_lock<std::shared_mutex> guard(record->lock);
  *generation = record->generation;
  if (!record->connected)
    return NetResult::NotConnected;
  size_t count = 0;
  NetResult result = platform::socketReceive(record->socket, record->received, kReceiveBuffer, &count);
  if (result == NetResult::Ok) {
    record->receivedCount = count;
    record->receivedPos = 0;
  }
  return result;
}

bool takeReceived(SocketRecord* record, uint8_t* byte) {
  if (record->receivedPos >= record->receivedCount)
    return false;
  *byte = record->received[record->receivedPos++];
  return true;
}

/* One byte: from what the last receive brought, else from one receive of
 * everything that has arrived (a reset connection is made again first). */
aErr socketGet(uint8_t* byte, void* ref) {
  SocketRecord* record = socketRecord(ref);
  if (!record || !byte)
    return aErrParam;
  if (takeReceived(record, byte))
    return aErrNone;
  uint32_t generation = 0;
  NetResult result = receiveBurst(record, &generation);
  if (result == NetResult::NotConnected)
    return aErrConnection;
  if (connectionBroken(result)) {
    aErr err = replaceConnection(record, generation);
    if (err != aErrNone)
      return err;
    result = receiveBurst(record, &generation);
    if (result == NetResult::NotConnected)
      return aErrConnection;
  }
  if (result == NetResult::WouldBlock)
    return aErrNotReady;
  if (result == NetResult::Closed)
    return connectionLost(record, generation);
  if (result != NetResult::Ok)
    return aErrConnection;
  return takeReceived(record, byte) ? aErrNone : aErrNotReady;
}

/* Waits for the connection to have something to read (a byte, its end or a
 * failure) without holding the lock, so the writer is never kept waiting:
 * the handle is taken under the lock and only polled. Should the writer
 * replace the connection meanwhile, it wakes the poll; the get that follows
 * takes the lock and decides what there is. */
aErr socketWait(uint32_t milliseconds, platform::Wakeup* wakeup, void* ref) {
  SocketRecord* record = socketRecord(ref);
  if (!record)
    return aErrParam;
  if (record->receivedPos < record->receivedCount)
    return aErrNone;
  platform::SocketHandle socket = platform::kNoSocket;
  {
    std::shared_lock<std::shared_mutex> guard(record->lock);
    if (!record->connected)
      return aErrNone;  // the get reports the lost connection
    socket = record->socket;
    record->readerWakeup = wakeup;
  }
  return platform::socketWaitReadable(socket, milliseconds, wakeup) ? aErrNone : aErrNotReady;
}

/* One send attempt under the shared lock; *sent is the count taken,
 * *generation the connection it went to. */
NetResult sendOnce(SocketRecord* record, const uint8_t* bytes, size_t count, size_t* sent, bool* wasConnected,
                   uint32_t* generation) {
  std::shared_lock<std::shared_mutex> guard(record->lock);
  *wasConnected = record->connected;
  *generation = record->generation;
  if (!record->connected)
    return NetResult::NotConnected;
  return platform::socketSend(record->socket, bytes, count, sent);
}

aErr socketWrite(const uint8_t* buffer, size_t count, void* ref) {
  SocketRecord* record = socketRecord(ref);
  if (!record || (!buffer && count > 0))
    return aErrParam;
  size_t done = 0;
  int attempts = 0;
  while (done < count) {
    size_t sent = 0;
    bool wasConnected = false;
    uint32_t generation = 0;
    NetResult result = sendOnce(record, buffer + done, count - done, &sent, &wasConnected, &generation);
    if (!wasConnected)
      return aErrConnection;
    if (result == NetResult::Ok && sent == count - done)
      return aErrNone;
    if (result == NetResult::Ok && sent > 0) {
      done += sent;
      attempts = 1;
    } else if (result == NetResult::Ok || result == NetResult::WouldBlock) {
      ++attempts;
    } else if (result == NetResult::Aborted || connectionBroken(result)) {
      aErr err = replaceConnection(record, generation);
      if (err != aErrNone)
        return err;
      ++attempts;
    } else {
      return aErrIO;
    }
    if (attempts >= kSendAttempts)
      return aErrBusy;
    aTime_MSSleep(kSendPauseMs);
  }
  return aErrNone;
}

aErr socketPut(uint8_t byte, void* ref) {
  return socketWrite(&byte, 1, ref);
}

aErr socketDestroy(void* ref) {
  SocketRecord* record = socketRecord(ref);
  if (!record)
    return aErrParam;
  // The pause after a close is only owed to a connection that was open
  // (a module that rebooted has closed it already).
  const bool wasOpen = record->socket != platform::kNoSocket;
  closeRecord(record);
  if (wasOpen)
    aTime_MSSleep(kReconnectPauseMs);
  record->check = 0;
  delete record;
  return aErrNone;
}

}  // namespace

aErr aStream_CreateSocket(uint32_t address, uint16_t port, aStreamRef* stream) {
  if (!platform::socketStartup() || !stream)
    return aErrResource;
  *stream = nullptr;
  SocketRecord* record = new (std::nothrow) SocketRecord;
  if (!record)
    return aErrResource;
  record->check = aSOCKET_CHECK;
  record->port = port;
  record->address = address;
  record->socket = platform::kNoSocket;
  record->connected = false;
  record->generation = 0;
  record->readerWakeup = nullptr;
  record->receivedCount = 0;
  record->receivedPos = 0;
  aErr err = connectRecord(record);
  if (err == aErrNone)
    *stream = aStream_Create(socketGet, socketPut, socketWrite, socketDestroy, record);
  if (*stream)
    aStream_SetWakeableWait(*stream, socketWait);
  if (!*stream) {
    socketDestroy(record);
    return aErrResource;
  }
  return aErrNone;
}
