// USB through libusb-1.0: device walk, serial-number strings, the link
// interface (class 0xFF, subclass 0x88, protocol 0x10) and its bulk pipes.
//
// Bulk transfers are libusb's asynchronous ones, driven by the calling thread,
// so that closing a device can cancel what is still out: a reader blocked on
// the IN pipe returns Cancelled and the device is released only when no
// transfer of it is left. A stalled pipe is cleared and the transfer tried
// once more; a device that went away ends its transfers with NoDevice.
#include "platform/usb.h"
#include "platform/usb_identity.h"

#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <string.h>
#include <vector>

namespace platform {

struct UsbDevice {
  libusb_device_handle* handle = nullptr;
  int interfaceNumber = 0;
  std::mutex lock;
  std::condition_variable idle;             // signalled when a transfer is taken off the list
  std::vector<libusb_transfer*> inFlight;   // submitted and not yet finished with
  bool closing = false;
};

namespace {

libusb_context* sharedContext() {
  static std::once_flag once;
  static libusb_context* context = nullptr;
  std::call_once(once, [] {
    if (libusb_init(&context) != 0)
      context = nullptr;
  });
  return context;
}

UsbResult resultOf(int rc) {
  switch (rc) {
    case LIBUSB_SUCCESS: return UsbResult::Ok;
    case LIBUSB_ERROR_TIMEOUT: return UsbResult::Timeout;
    case LIBUSB_ERROR_BUSY: return UsbResult::Busy;
    case LIBUSB_ERROR_ACCESS: return UsbResult::Permission;
    case LIBUSB_ERROR_NOT_FOUND: return UsbResult::NotFound;
    case LIBUSB_ERROR_INTERRUPTED: return UsbResult::Cancelled;
    case LIBUSB_ERROR_NO_DEVICE: return UsbResult::NoDevice;
    default: return UsbResult::Failed;
  }
}

bool isLinkSetting(const libusb_interface_descriptor* alt) {
  return alt->bAlternateSetting == 0 && alt->bInterfaceClass == kUsbLinkClass &&
         alt->bInterfaceSubClass == kUsbLinkSubclass && alt->bInterfaceProtocol == kUsbLinkProtocol;
}

// The link interface of the active configuration, or null. The caller frees *config.
const libusb_interface_descriptor* findLinkInterface(libusb_device* device, libusb_config_descriptor** config) {
  *config = nullptr;
  if (libusb_get_active_config_descriptor(device, config) != 0 &&
      libusb_get_config_descriptor(device, 0, config) != 0)
    return nullptr;
  for (int i = 0; i < (*config)->bNumInterfaces; ++i) {
    const libusb_interface* iface = &(*config)->interface[i];
    for (int a = 0; a < iface->num_altsetting; ++a)
      if (isLinkSetting(&iface->altsetting[a]))
        return &iface->altsetting[a];
  }
  return nullptr;
}

bool readSerial(libusb_device_handle* handle, uint8_t index, char* out, size_t size) {
  out[0] = '\0';
  if (index == 0)
    return false;
  int n = libusb_get_string_descriptor_ascii(handle, index, reinterpret_cast<unsigned char*>(out),
                                             static_cast<int>(size - 1));
  if (n < 0) {
    out[0] = '\0';
    return false;
  }
  out[n] = '\0';
  return true;
}

// Endpoints of the link interface; false for an endpoint of an unknown kind.
bool readEndpoints(const libusb_interface_descriptor* alt, UsbEndpoints* endpoints) {
  memset(endpoints, 0, sizeof *endpoints);
  for (int e = 0; e < alt->bNumEndpoints; ++e) {
    const libusb_endpoint_descriptor* ep = &alt->endpoint[e];
    uint8_t type = ep->bmAttributes & LIBUSB_TRANSFER_TYPE_MASK;
    bool in = (ep->bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN;
    if (type == LIBUSB_TRANSFER_TYPE_BULK && in) {
      endpoints->bulkIn = ep->bEndpointAddress;
      endpoints->bulkInSize = ep->wMaxPacketSize;
    } else if (type == LIBUSB_TRANSFER_TYPE_BULK) {
      endpoints->bulkOut = ep->bEndpointAddress;
      endpoints->bulkOutSize = ep->wMaxPacketSize;
    } else if (type == LIBUSB_TRANSFER_TYPE_INTERRUPT) {
      endpoints->interruptIn = ep->bEndpointAddress;
      endpoints->interruptInSize = ep->wMaxPacketSize;
    } else {
      return false;
    }
  }
  return endpoints->bulkIn != 0 && endpoints->bulkOut != 0 && endpoints->bulkInSize > 0 &&
         endpoints->bulkOutSize > 0;
}

bool systemEnumerate(uint16_t vendorId, UsbVisit visit, void* ref) {
  libusb_context* context = sharedContext();
  if (!context)
    return false;
  libusb_device** list = nullptr;
  ssize_t count = libusb_get_device_list(context, &list);
  if (count < 0)
    return false;
  for (ssize_t i = 0; i < count; ++i) {
    libusb_device_descriptor desc;
    if (libusb_get_device_descriptor(list[i], &desc) != 0 || (vendorId != 0 && desc.idVendor != vendorId))
      continue;
    UsbDeviceInfo info;
    memset(&info, 0, sizeof info);
    info.vendorId = desc.idVendor;
    info.productId = desc.idProduct;
    libusb_config_descriptor* config = nullptr;
    info.hasLinkInterface = findLinkInterface(list[i], &config) != nullptr;
    if (config)
      libusb_free_config_descriptor(config);
    libusb_device_handle* handle = nullptr;
    int opened = libusb_open(list[i], &handle);
    if (opened == 0) {
      readSerial(handle, desc.iSerialNumber, info.serial, sizeof info.serial);
      libusb_close(handle);
    }
    info.permissionDenied = opened == LIBUSB_ERROR_ACCESS;
    if (!visit(&info, ref))
      break;
  }
  libusb_free_device_list(list, 1);
  return true;
}

// Claims the link interface of an opened device and fills the endpoints.
UsbResult claimLink(libusb_device* device, libusb_device_handle* handle, UsbDevice** out, UsbEndpoints* endpoints) {
  libusb_config_descriptor* config = nullptr;
  const libusb_interface_descriptor* alt = findLinkInterface(device, &config);
  UsbResult result = UsbResult::Failed;
  if (alt && readEndpoints(alt, endpoints)) {
    libusb_set_auto_detach_kernel_driver(handle, 1);
    int rc = libusb_claim_interface(handle, alt->bInterfaceNumber);
    if (rc == 0) {
      libusb_clear_halt(handle, endpoints->bulkIn);
      libusb_clear_halt(handle, endpoints->bulkOut);
      *out = new (std::nothrow) UsbDevice;
      if (*out) {
        (*out)->handle = handle;
        (*out)->interfaceNumber = alt->bInterfaceNumber;
      }
      result = *out ? UsbResult::Ok : UsbResult::Failed;
      if (!*out)
        libusb_release_interface(handle, alt->bInterfaceNumber);
    } else {
      result = rc == LIBUSB_ERROR_BUSY ? UsbResult::Busy : UsbResult::Failed;
    }
  }
  if (config)
    libusb_free_config_descriptor(config);
  return result;
}

UsbResult systemOpen(uint32_t serialNumber, UsbDevice** out, UsbEndpoints* endpoints) {
  *out = nullptr;
  libusb_context* context = sharedContext();
  if (!context)
    return UsbResult::Failed;
  libusb_device** list = nullptr;
  ssize_t count = libusb_get_device_list(context, &list);
  if (count < 0)
    return UsbResult::Failed;
  UsbResult result = UsbResult::NotFound;
  bool denied = false;  // a module's device this user may not open
  for (ssize_t i = 0; i < count && result == UsbResult::NotFound; ++i) {
    libusb_device_descriptor desc;
    libusb_config_descriptor* config = nullptr;
    bool candidate = libusb_get_device_descriptor(list[i], &desc) == 0 && findLinkInterface(list[i], &config);
    if (config)
      libusb_free_config_descriptor(config);
    libusb_device_handle* handle = nullptr;
    if (!candidate)
      continue;
    int rc = libusb_open(list[i], &handle);
    if (rc != 0) {
      denied = denied || rc == LIBUSB_ERROR_ACCESS;
      continue;
    }
    char serial[64];
    if (readSerial(handle, desc.iSerialNumber, serial, sizeof serial) && usbSerialMatches(serial, serialNumber))
      result = claimLink(list[i], handle, out, endpoints);
    if (result != UsbResult::Ok)
      libusb_close(handle);
  }
  libusb_free_device_list(list, 1);
  // Not found among the devices we could read: it may be one we may not open.
  return result == UsbResult::NotFound && denied ? UsbResult::Permission : result;
}

// How long closing a device waits for its cancelled transfers to finish.
const auto kCancelWait = std::chrono::seconds(5);

// Runs on whichever thread handles libusb's events; the flag is read by the
// thread that waits for the transfer.
void LIBUSB_CALL onTransferDone(libusb_transfer* transfer) {
  __atomic_store_n(static_cast<int*>(transfer->user_data), 1, __ATOMIC_RELEASE);
}

UsbResult statusResult(libusb_transfer_status status) {
  switch (status) {
    case LIBUSB_TRANSFER_COMPLETED: return UsbResult::Ok;
    case LIBUSB_TRANSFER_TIMED_OUT: return UsbResult::Timeout;
    case LIBUSB_TRANSFER_CANCELLED: return UsbResult::Cancelled;
    case LIBUSB_TRANSFER_NO_DEVICE: return UsbResult::NoDevice;
    default: return UsbResult::Failed;
  }
}

// Takes a finished transfer off the device's list.
void forget(UsbDevice* device, libusb_transfer* transfer) {
  std::lock_guard<std::mutex> guard(device->lock);
  device->inFlight.erase(std::remove(device->inFlight.begin(), device->inFlight.end(), transfer),
                         device->inFlight.end());
  device->idle.notify_all();
}

// One bulk transfer, driven to its end by this thread. *stalled tells a
// transfer that the device stalled.
UsbResult bulkTransfer(UsbDevice* device, uint8_t endpoint, uint8_t* buffer, size_t size, size_t* moved,
                       uint32_t timeoutMs, bool* stalled) {
  *moved = 0;
  *stalled = false;
  libusb_context* context = sharedContext();
  libusb_transfer* transfer = libusb_alloc_transfer(0);
  if (!context || !transfer)
    return UsbResult::Failed;
  int completed = 0;
  libusb_fill_bulk_transfer(transfer, device->handle, endpoint, buffer, static_cast<int>(size), onTransferDone,
                            &completed, timeoutMs);
  {
    std::lock_guard<std::mutex> guard(device->lock);
    if (device->closing) {
      libusb_free_transfer(transfer);
      return UsbResult::Cancelled;
    }
    int rc = libusb_submit_transfer(transfer);
    if (rc != 0) {
      libusb_free_transfer(transfer);
      return resultOf(rc);
    }
    device->inFlight.push_back(transfer);
  }
  while (!__atomic_load_n(&completed, __ATOMIC_ACQUIRE)) {
    int rc = libusb_handle_events_completed(context, &completed);
    if (rc < 0 && rc != LIBUSB_ERROR_INTERRUPTED && !__atomic_load_n(&completed, __ATOMIC_ACQUIRE))
      libusb_cancel_transfer(transfer);  // the loop goes on until it has ended
  }
  *moved = transfer->actual_length > 0 ? static_cast<size_t>(transfer->actual_length) : 0;
  *stalled = transfer->status == LIBUSB_TRANSFER_STALL;
  const UsbResult result = statusResult(transfer->status);
  forget(device, transfer);
  libusb_free_transfer(transfer);
  return result;
}

// A stalled pipe is cleared and the transfer made once more.
UsbResult bulkWithStallClearing(UsbDevice* device, uint8_t endpoint, uint8_t* buffer, size_t size, size_t* moved,
                                uint32_t timeoutMs) {
  bool stalled = false;
  UsbResult result = bulkTransfer(device, endpoint, buffer, size, moved, timeoutMs, &stalled);
  if (!stalled || *moved > 0)
    return result;
  if (libusb_clear_halt(device->handle, endpoint) != 0)
    return UsbResult::Failed;
  return bulkTransfer(device, endpoint, buffer, size, moved, timeoutMs, &stalled);
}

UsbResult systemBulkRead(UsbDevice* device, uint8_t endpoint, uint8_t* buffer, size_t size, size_t* received,
                         uint32_t timeoutMs) {
  return bulkWithStallClearing(device, endpoint, buffer, size, received, timeoutMs);
}

UsbResult systemBulkWrite(UsbDevice* device, uint8_t endpoint, const uint8_t* buffer, size_t size, size_t* sent,
                          uint32_t timeoutMs) {
  return bulkWithStallClearing(device, endpoint, const_cast<uint8_t*>(buffer), size, sent, timeoutMs);
}

// Cancels the transfers still out and waits (bounded) for their threads to
// finish with them before the interface is released and the device closed.
void systemClose(UsbDevice* device) {
  if (!device)
    return;
  {
    std::unique_lock<std::mutex> guard(device->lock);
    device->closing = true;
    for (libusb_transfer* transfer : device->inFlight)
      libusb_cancel_transfer(transfer);
    device->idle.wait_for(guard, kCancelWait, [device] { return device->inFlight.empty(); });
    if (!device->inFlight.empty())
      return;  // a transfer that never ends: leave the device rather than free it under its thread
  }
  libusb_release_interface(device->handle, device->interfaceNumber);
  libusb_close(device->handle);
  delete device;
}

const UsbOps kSystemOps = {systemEnumerate, systemOpen, systemBulkRead, systemBulkWrite, systemClose};

}  // namespace

const UsbOps* usbSystemOps() {
  return &kSystemOps;
}

}  // namespace platform
