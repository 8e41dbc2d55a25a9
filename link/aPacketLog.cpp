// The packet debug log: a byte ring of records (direction byte, length byte
// n, n bytes) in which new records push out the oldest ones.
#include "aPacketFifo.h"

#include <stdlib.h>

struct aPacketLog {
  uint32_t capacity;
  uint8_t* buffer;
  uint32_t read;   // start of the oldest record
  uint32_t write;  // where the next record goes; read == write means empty
};

namespace {

const uint32_t kMaxRecord = 255;

uint32_t usedBytes(const aPacketLog* log) {
  return (log->capacity + log->write - log->read) % log->capacity;
}

uint8_t byteAt(const aPacketLog* log, uint32_t offset) {
  return log->buffer[(log->read + offset) % log->capacity];
}

void dropOldest(aPacketLog* log) {
  uint32_t length = byteAt(log, 1);
  log->read = (log->read + 2 + length) % log->capacity;
}

void putByte(aPacketLog* log, uint8_t byte) {
  log->buffer[log->write] = byte;
  log->write = (log->write + 1) % log->capacity;
}

}  // namespace

aPacketLog* aPacketLog_Create(uint32_t capacity) {
  if (capacity < 3) return nullptr;
  aPacketLog* log = static_cast<aPacketLog*>(calloc(1, sizeof(aPacketLog)));
  if (!log) return nullptr;
  log->buffer = static_cast<uint8_t*>(malloc(capacity));
  if (!log->buffer) {
    free(log);
    return nullptr;
  }
  log->capacity = capacity;
  return log;
}

// One ring byte always stays free so that a full ring never looks empty:
// a record of n bytes needs n + 2 bytes and strictly more free space.
aErr aPacketLog_Put(aPacketLog* log, uint8_t direction, uint32_t length, const uint8_t* bytes) {
  if (!log || length > kMaxRecord || (length > 0 && !bytes)) return aErrParam;
  const uint32_t needed = length + 2;
  if (needed >= log->capacity) return aErrOverrun;
  while (log->capacity - usedBytes(log) <= needed && log->read != log->write) dropOldest(log);
  if (log->capacity - usedBytes(log) <= needed) return aErrOverrun;
  putByte(log, direction);
  putByte(log, static_cast<uint8_t>(length));
  for (uint32_t i = 0; i < length; i++) putByte(log, bytes[i]);
  return aErrNone;
}

aErr aPacketLog_Get(aPacketLog* log, uint8_t* direction, uint32_t* length, uint8_t* buffer) {
  if (!log || !direction || !length) return aErrParam;
  if (log->read == log->write) return aErrNotFound;
  const uint32_t recordLength = byteAt(log, 1);
  if (recordLength > 0 && !buffer) return aErrParam;
  const uint32_t room = *length;
  *direction = byteAt(log, 0);
  *length = recordLength;
  if (recordLength > room) return aErrOverrun;
  for (uint32_t i = 0; i < recordLength; i++) buffer[i] = byteAt(log, 2 + i);
  log->read = (log->read + 2 + recordLength) % log->capacity;
  return aErrNone;
}

aErr aPacketLog_Destroy(aPacketLog** log) {
  if (!log || !*log) return aErrNone;
  free((*log)->buffer);
  free(*log);
  *log = nullptr;
  return aErrNone;
}
