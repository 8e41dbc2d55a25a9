/* USB transport: the bulk pipes of a module's link interface, found by the
 * module's serial number. Reads hand out one IN transfer byte by byte and
 * wait at most 500 ms for the next transfer. */
#include "internal/aStreamPrivate.h"
#include "platform/usb.h"

#include <new>

#define aUSB_CHECK 0xDEAD

namespace {

const uint32_t kReadWaitMs = 500;
const uint32_t kWriteWaitMs = 2000;

struct USBRecord {
  uint16_t check;
  const platform::UsbOps* ops;
  platform::UsbDevice* device;
  platform::UsbEndpoints endpoints;
  uint8_t* readBuffer;  // endpoints.bulkInSize bytes
  uint16_t readCount;
  uint16_t readPos;
};

USBRecord* usbRecord(void* ref) {
  USBRecord* record = static_cast<USBRecord*>(ref);
  return record && record->check == aUSB_CHECK ? record : nullptr;
}

aErr readResult(platform::UsbResult result) {
  switch (result) {
    case platform::UsbResult::Ok:
    case platform::UsbResult::Timeout:
      return aErrNotReady;
    case platform::UsbResult::Cancelled:
      return aErrCancel;
    default:
      return aErrIO;
  }
}

aErr usbGet(uint8_t* byte, void* ref) {
  USBRecord* record = usbRecord(ref);
  if (!record || !byte)
    return aErrParam;
  if (record->readPos >= record->readCount) {
    size_t received = 0;
    platform::UsbResult result = record->ops->bulkRead(record->device, record->endpoints.bulkIn, record->readBuffer,
                                                       record->endpoints.bulkInSize, &received, kReadWaitMs);
    if (received > record->endpoints.bulkInSize)
      return aErrIO;
    record->readPos = 0;
    record->readCount = static_cast<uint16_t>(received);
    /* Bytes that came with a time-out are kept like any others. */
    if (received == 0 || (result != platform::UsbResult::Ok && result != platform::UsbResult::Timeout))
      return received == 0 ? readResult(result) : aErrIO;
  }
  *byte = record->readBuffer[record->readPos++];
  return aErrNone;
}

aErr usbWrite(const uint8_t* buffer, size_t count, void* ref) {
  USBRecord* record = usbRecord(ref);
  if (!record || (!buffer && count > 0))
    return aErrParam;
  size_t sent = 0;
  platform::UsbResult result =
      record->ops->bulkWrite(record->device, record->endpoints.bulkOut, buffer, count, &sent, kWriteWaitMs);
  return result == platform::UsbResult::Ok && sent == count ? aErrNone : aErrIO;
}

aErr usbPut(uint8_t byte, void* ref) {
  return usbWrite(&byte, 1, ref);
}

aErr usbDestroy(void* ref) {
  USBRecord* record = usbRecord(ref);
  if (!record)
    return aErrParam;
  if (record->device)
    record->ops->close(record->device);
  record->check = 0;
  delete[] record->readBuffer;
  delete record;
  return aErrNone;
}

aErr openResult(platform::UsbResult result) {
  switch (result) {
    case platform::UsbResult::NotFound:
    case platform::UsbResult::NoDevice:
      return aErrNotFound;
    case platform::UsbResult::Busy:
      return aErrBusy;
    case platform::UsbResult::Permission:
      return aErrPermission;
    default:
      return aErrInitialization;
  }
}

}  // namespace

aErr aStream_CreateUSB(uint32_t serialNumber, aStreamRef* stream) {
  if (!stream)
    return aErrParam;
  *stream = nullptr;
  USBRecord* record = new (std::nothrow) USBRecord();
  if (!record)
    return aErrMemory;
  record->check = aUSB_CHECK;
  record->ops = platform::usbOps();
  platform::UsbResult result = record->ops->open(serialNumber, &record->device, &record->endpoints);
  if (result != platform::UsbResult::Ok || !record->device) {
    record->device = nullptr;
    usbDestroy(record);
    return result == platform::UsbResult::Ok ? aErrInitialization : openResult(result);
  }
  if (record->endpoints.bulkInSize == 0 || record->endpoints.bulkOutSize == 0) {
    usbDestroy(record);
    return aErrInitialization;
  }
  record->readBuffer = new (std::nothrow) uint8_t[record->endpoints.bulkInSize];
  if (!record->readBuffer) {
    usbDestroy(record);
    return aErrMemory;
  }
  *stream = aStream_Create(usbGet, usbPut, usbWrite, usbDestroy, record);
  if (!*stream) {
    usbDestroy(record);
    return aErrMemory;
  }
  return aErrNone;
}
