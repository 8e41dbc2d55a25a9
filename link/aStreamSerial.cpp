/* Serial transport: a port opened by path, raw binary framing chosen by baud
 * code, parity, data bits and stop bits; reads return at once, and a wait
 * polls the port until a byte arrives. */
#include "internal/aStreamPrivate.h"
#include "platform/serial.h"

#include <stdlib.h>
#include <string.h>

#define aSERIAL_CHECK 0xDEEF

namespace {

/* How long a write may wait for the port to take more bytes. */
const uint32_t kWriteStallMs = 2000;

struct SerialRecord {
  uint16_t check;
  platform::SerialPort* port;
};

const uint32_t kBaudRates[] = {2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400};

SerialRecord* serialRecord(void* ref) {
  SerialRecord* record = static_cast<SerialRecord*>(ref);
  return record && record->check == aSERIAL_CHECK ? record : nullptr;
}

aErr serialGet(uint8_t* byte, void* ref) {
  SerialRecord* record = serialRecord(ref);
  if (!record || !byte)
    return aErrParam;
  if (!record->port)
    return aErrIO;
  switch (platform::serialReadByte(record->port, byte)) {
    case platform::SerialRead::Byte: return aErrNone;
    case platform::SerialRead::Nothing: return aErrNotReady;
    default: return aErrIO;
  }
}

aErr serialWait(uint32_t milliseconds, platform::Wakeup* wakeup, void* ref) {
  SerialRecord* record = serialRecord(ref);
  if (!record)
    return aErrParam;
  if (!record->port)
    return aErrNone;  // the get reports the missing port
  return platform::serialWaitReadable(record->port, milliseconds, wakeup) ? aErrNone : aErrNotReady;
}

aErr serialWriteBytes(const uint8_t* buffer, size_t count, void* ref) {
  SerialRecord* record = serialRecord(ref);
  if (!record || !buffer)
    return aErrParam;
  if (!record->port)
    return aErrIO;
  return platform::serialWrite(record->port, buffer, count, kWriteStallMs) ? aErrNone : aErrIO;
}

aErr serialPut(uint8_t byte, void* ref) {
  return serialWriteBytes(&byte, 1, ref);
}

aErr serialDestroy(void* ref) {
  SerialRecord* record = serialRecord(ref);
  if (!record)
    return aErrParam;
  bool restored = platform::serialClose(record->port);
  record->check = 0;
  free(record);
  return restored ? aErrNone : aErrIO;
}

}  // namespace

aErr aStream_CreateSerial(const char* portName, uint32_t baudCode, uint32_t parity, uint32_t sevenBits,
                          uint32_t twoStopBits, aStreamRef* stream) {
  if (!portName || !stream)
    return aErrParam;
  *stream = nullptr;
  if (baudCode >= sizeof kBaudRates / sizeof kBaudRates[0])
    return aErrRange;
  if (parity > 1 || sevenBits > 1 || twoStopBits > 1)
    return aErrMode;
  if (strlen(portName) > aPATH_MAX)
    return aErrIO;
  platform::SerialPort* port = platform::serialOpen(portName);
  if (!port)
    return aErrIO;
  platform::SerialSettings settings = {kBaudRates[baudCode], parity == 1, sevenBits == 1, twoStopBits == 1};
  if (!platform::serialConfigure(port, settings)) {
    platform::serialClose(port);
    return aErrIO;
  }
  SerialRecord* record = static_cast<SerialRecord*>(calloc(1, sizeof(SerialRecord)));
  if (!record) {
    platform::serialClose(port);
    return aErrMemory;
  }
  record->check = aSERIAL_CHECK;
  record->port = port;
  *stream = aStream_Create(serialGet, serialPut, serialWriteBytes, serialDestroy, record);
  if (*stream)
    aStream_SetWakeableWait(*stream, serialWait);
  if (!*stream) {
    serialDestroy(record);
    return aErrResource;
  }
  return aErrNone;
}
