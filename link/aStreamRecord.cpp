/* Delimited records and zero-terminated strings over a stream. */
#include "internal/aStreamPrivate.h"

#include <stdlib.h>
#include <string.h>

namespace {

/* Bytes consumed while reading one record: the stored bytes and the bytes
 * that so far match the start of the delimiter. */
struct RecordScan {
  uint8_t* stored;
  size_t storedCount;
  size_t capacity;
  uint8_t* pending;
  size_t pendingCount;
  const uint8_t* delimiter;
  size_t delimiterLength;
};

bool pendingIsDelimiterPrefix(const RecordScan* scan) {
  return memcmp(scan->pending, scan->delimiter, scan->pendingCount) == 0;
}

/* Feeds one byte. A byte that breaks a partial delimiter match does not lose
 * the matched bytes: the oldest of them becomes record data and matching
 * resumes with the rest, so "a\rb\r\n" with delimiter "\r\n" gives "a\rb".
 * Returns true when the record is complete (delimiter seen or buffer full). */
bool feedByte(RecordScan* scan, uint8_t byte) {
  scan->pending[scan->pendingCount++] = byte;
  while (scan->pendingCount > 0 && !pendingIsDelimiterPrefix(scan)) {
    scan->stored[scan->storedCount++] = scan->pending[0];
    --scan->pendingCount;
    memmove(scan->pending, scan->pending + 1, scan->pendingCount);
    if (scan->storedCount == scan->capacity)
      return true;
  }
  if (scan->pendingCount == scan->delimiterLength) {
    scan->pendingCount = 0;
    return true;
  }
  return false;
}

/* Every byte taken and not handed out, in stream order. */
aErr unreadScan(aStreamRef stream, const RecordScan* scan) {
  aErr err = aStream_Unread(stream, scan->pending, scan->pendingCount);
  if (err != aErrNone)
    return err;
  return aStream_Unread(stream, scan->stored, scan->storedCount);
}

aErr scanRecord(aStreamRef stream, RecordScan* scan) {
  for (;;) {
    uint8_t byte = 0;
    aErr err = aStream_TakeByte(stream, &byte);
    if (err == aErrEOF) {
      /* Bytes that looked like the start of a delimiter are record data. */
      while (scan->pendingCount > 0 && scan->storedCount < scan->capacity) {
        scan->stored[scan->storedCount++] = scan->pending[0];
        --scan->pendingCount;
        memmove(scan->pending, scan->pending + 1, scan->pendingCount);
      }
      if (scan->pendingCount > 0)
        return aStream_Unread(stream, scan->pending, scan->pendingCount);
      return scan->storedCount > 0 ? aErrNone : aErrEOF;
    }
    if (err == aErrNotReady) {
      aErr kept = unreadScan(stream, scan);
      return kept != aErrNone ? kept : aErrNotReady;
    }
    if (err != aErrNone)
      return err;
    if (feedByte(scan, byte)) {
      /* A full buffer may leave bytes of a partial delimiter match. */
      return aStream_Unread(stream, scan->pending, scan->pendingCount);
    }
  }
}

}  // namespace

aErr aStream_ReadRecord(aStreamRef stream, uint8_t* buffer, size_t* length, size_t capacity,
                        const uint8_t* delimiter, size_t delimiterLength) {
  if (!aStream_IsValid(stream) || !buffer || !delimiter || delimiterLength == 0)
    return aErrParam;
  if (!aStream_CanGet(stream))
    return aErrMode;
  if (length)
    *length = 0;
  if (capacity == 0)
    return aErrSize;
  RecordScan scan = {};
  scan.stored = static_cast<uint8_t*>(malloc(capacity));
  scan.pending = static_cast<uint8_t*>(malloc(delimiterLength));
  scan.capacity = capacity;
  scan.delimiter = delimiter;
  scan.delimiterLength = delimiterLength;
  aErr err = aErrResource;
  if (scan.stored && scan.pending) {
    err = scanRecord(stream, &scan);
    if (err == aErrNone) {
      memcpy(buffer, scan.stored, scan.storedCount);
      if (length)
        *length = scan.storedCount;
    }
  }
  free(scan.stored);
  free(scan.pending);
  return err;
}

aErr aStream_WriteRecord(aStreamRef stream, const uint8_t* data, size_t count, const uint8_t* delimiter,
                         size_t delimiterLength) {
  if (!aStream_IsValid(stream) || (!data && count > 0) || (!delimiter && delimiterLength > 0))
    return aErrParam;
  aErr err = count > 0 ? aStream_Write(stream, data, count) : aErrNone;
  if (err == aErrNone && delimiterLength > 0)
    err = aStream_Write(stream, delimiter, delimiterLength);
  return err;
}

aErr aStream_ReadCString(aStreamRef stream, char* buffer, size_t size) {
  static const uint8_t kZero = 0;
  if (!buffer || size == 0)
    return aErrParam;
  buffer[0] = '\0';
  if (size == 1)
    return aErrSize;
  size_t length = 0;
  aErr err = aStream_ReadRecord(stream, reinterpret_cast<uint8_t*>(buffer), &length, size - 1, &kZero, 1);
  buffer[err == aErrNone ? length : 0] = '\0';
  return err;
}

aErr aStream_WriteCString(aStreamRef stream, const char* text) {
  if (!aStream_IsValid(stream) || !text)
    return aErrParam;
  aErr err = aStream_Write(stream, reinterpret_cast<const uint8_t*>(text), strlen(text));
  if (err != aErrNone)
    return err;
  /* The terminator goes through put (one-byte write for a write-only stream). */
  static const uint8_t kZero = 0;
  return aStream_Write(stream, &kZero, 1);
}

aErr aStream_ReadCStringRecord(aStreamRef stream, char* buffer, size_t size, const char* delimiterText) {
  if (!buffer || size == 0 || !delimiterText || delimiterText[0] == '\0')
    return aErrParam;
  buffer[0] = '\0';
  if (size == 1)
    return aErrSize;
  size_t length = 0;
  aErr err = aStream_ReadRecord(stream, reinterpret_cast<uint8_t*>(buffer), &length, size - 1,
                                reinterpret_cast<const uint8_t*>(delimiterText), strlen(delimiterText));
  buffer[err == aErrNone ? length : 0] = '\0';
  return err;
}

aErr aStream_WriteCStringRecord(aStreamRef stream, const char* text, const char* delimiterText) {
  if (!aStream_IsValid(stream) || !text || !delimiterText)
    return aErrParam;
  return aStream_WriteRecord(stream, reinterpret_cast<const uint8_t*>(text), strlen(text),
                             reinterpret_cast<const uint8_t*>(delimiterText), strlen(delimiterText) + 1);
}
