// USB modules through SetupAPI and WinUSB. Devices are found through the USB
// device interface that every present USB device exposes; the vendor ID, the
// product ID (which carries the model) and the serial number are read from
// the device instance identifier. A module whose link is served by the
// maker's kernel driver is opened through the driver's device name instead,
// and that name is tried first.
#include "platform/usb.h"

#include <windows.h>
#include <initguid.h>
#include <setupapi.h>
#include <usbiodef.h>
#include <winusb.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/usb_identity.h"
#include "platform/win32/text_win32.h"

namespace platform {

struct UsbDevice {
  HANDLE file;
  WINUSB_INTERFACE_HANDLE winusb;  // null when the kernel driver serves the link
  HANDLE readEvent;
  HANDLE writeEvent;
};

namespace {

// Endpoints the kernel driver's read and write stand for.
constexpr UsbEndpoints kDriverEndpoints = {0x81, 64, 0x01, 64, 0, 0};

UsbResult resultOf(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS: return UsbResult::Ok;
    case ERROR_SEM_TIMEOUT:
    case WAIT_TIMEOUT: return UsbResult::Timeout;
    case ERROR_OPERATION_ABORTED: return UsbResult::Cancelled;
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY: return UsbResult::Busy;
    case ERROR_ACCESS_DENIED: return UsbResult::Permission;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return UsbResult::NotFound;
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_DEV_NOT_EXIST: return UsbResult::NoDevice;
    default: return UsbResult::Failed;
  }
}

// One present USB device: its interface path (to open) and its identity.
struct PresentDevice {
  std::wstring path;
  UsbInstanceId id;
};

// Every present USB device whose instance identifier parses; false when the
// system's device list cannot be had.
bool listPresent(std::vector<PresentDevice>* devices) {
  devices->clear();
  HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USB_DEVICE, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return false;
  SP_DEVICE_INTERFACE_DATA iface;
  iface.cbSize = sizeof iface;
  for (DWORD index = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_USB_DEVICE, index, &iface);
       ++index) {
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailW(set, &iface, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
    std::vector<unsigned char> buffer(size);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    SP_DEVINFO_DATA info;
    info.cbSize = sizeof info;
    if (!SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, size, nullptr, &info)) continue;
    wchar_t instance[512];
    if (!SetupDiGetDeviceInstanceIdW(set, &info, instance, 512, nullptr)) continue;
    PresentDevice device;
    device.path = detail->DevicePath;
    if (!usbParseInstanceId(narrow(instance).c_str(), &device.id)) continue;
    devices->push_back(std::move(device));
  }
  SetupDiDestroyDeviceInfoList(set);
  return true;
}

bool isLinkSetting(const USB_INTERFACE_DESCRIPTOR& d) {
  return d.bAlternateSetting == 0 && d.bInterfaceClass == kUsbLinkClass &&
         d.bInterfaceSubClass == kUsbLinkSubclass && d.bInterfaceProtocol == kUsbLinkProtocol;
}

// The bulk and interrupt pipes of the link interface; false when the
// interface is not the link's or lacks a bulk pipe.
bool readEndpoints(WINUSB_INTERFACE_HANDLE winusb, UsbEndpoints* endpoints) {
  USB_INTERFACE_DESCRIPTOR d;
  if (!WinUsb_QueryInterfaceSettings(winusb, 0, &d) || !isLinkSetting(d)) return false;
  std::memset(endpoints, 0, sizeof *endpoints);
  for (UCHAR i = 0; i < d.bNumEndpoints; ++i) {
    WINUSB_PIPE_INFORMATION pipe;
    if (!WinUsb_QueryPipe(winusb, 0, i, &pipe)) return false;
    bool in = (pipe.PipeId & 0x80) != 0;
    if (pipe.PipeType == UsbdPipeTypeBulk && in) {
      endpoints->bulkIn = pipe.PipeId;
      endpoints->bulkInSize = pipe.MaximumPacketSize;
    } else if (pipe.PipeType == UsbdPipeTypeBulk) {
      endpoints->bulkOut = pipe.PipeId;
      endpoints->bulkOutSize = pipe.MaximumPacketSize;
    } else if (pipe.PipeType == UsbdPipeTypeInterrupt) {
      endpoints->interruptIn = pipe.PipeId;
      endpoints->interruptInSize = pipe.MaximumPacketSize;
    }
  }
  return endpoints->bulkIn && endpoints->bulkOut && endpoints->bulkInSize && endpoints->bulkOutSize;
}

HANDLE openPath(const wchar_t* path, DWORD* error) {
  HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
  *error = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
  return file;
}

UsbDevice* newDevice(HANDLE file, WINUSB_INTERFACE_HANDLE winusb) {
  UsbDevice* device = new (std::nothrow) UsbDevice{file, winusb, nullptr, nullptr};
  if (!device) return nullptr;
  device->readEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  device->writeEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (device->readEvent && device->writeEvent) return device;
  if (device->readEvent) CloseHandle(device->readEvent);
  if (device->writeEvent) CloseHandle(device->writeEvent);
  delete device;
  return nullptr;
}

// The maker's driver, when it serves this serial number.
UsbResult openDriver(uint32_t serialNumber, UsbDevice** out, UsbEndpoints* endpoints) {
  char name[64];
  if (!usbKernelDriverName(serialNumber, name, sizeof name)) return UsbResult::Failed;
  wchar_t wide[64];
  MultiByteToWideChar(CP_UTF8, 0, name, -1, wide, 64);
  DWORD error;
  HANDLE file = openPath(wide, &error);
  if (file == INVALID_HANDLE_VALUE) return resultOf(error);
  *out = newDevice(file, nullptr);
  if (!*out) {
    CloseHandle(file);
    return UsbResult::Failed;
  }
  *endpoints = kDriverEndpoints;
  return UsbResult::Ok;
}

// WinUSB on one present device.
UsbResult openWinUsb(const PresentDevice& present, UsbDevice** out, UsbEndpoints* endpoints) {
  DWORD error;
  HANDLE file = openPath(present.path.c_str(), &error);
  if (file == INVALID_HANDLE_VALUE) return resultOf(error);
  WINUSB_INTERFACE_HANDLE winusb = nullptr;
  if (!WinUsb_Initialize(file, &winusb)) {
    error = GetLastError();
    CloseHandle(file);
    return error == ERROR_ACCESS_DENIED ? UsbResult::Busy : UsbResult::Failed;
  }
  if (readEndpoints(winusb, endpoints)) {
    WinUsb_ResetPipe(winusb, endpoints->bulkIn);
    WinUsb_ResetPipe(winusb, endpoints->bulkOut);
    *out = newDevice(file, winusb);
    if (*out) return UsbResult::Ok;
  }
  WinUsb_Free(winusb);
  CloseHandle(file);
  return UsbResult::Failed;
}

bool systemEnumerate(uint16_t vendorId, UsbVisit visit, void* ref) {
  std::vector<PresentDevice> devices;
  if (!listPresent(&devices)) return false;
  for (const PresentDevice& present : devices) {
    if (vendorId != 0 && present.id.vendorId != vendorId) continue;
    UsbDeviceInfo info;
    std::memset(&info, 0, sizeof info);
    info.vendorId = present.id.vendorId;
    info.productId = present.id.productId;
    std::memcpy(info.serial, present.id.serial, sizeof info.serial);
    info.serial[sizeof info.serial - 1] = '\0';
    // The link interface is the device's own (modules are not composite);
    // whether it is really there is checked when the device is opened.
    info.hasLinkInterface = !present.id.isInterface;
    if (!visit(&info, ref)) break;
  }
  return true;
}

UsbResult systemOpen(uint32_t serialNumber, UsbDevice** out, UsbEndpoints* endpoints) {
  *out = nullptr;
  UsbResult viaDriver = openDriver(serialNumber, out, endpoints);
  if (viaDriver == UsbResult::Ok || viaDriver == UsbResult::Busy) return viaDriver;
  std::vector<PresentDevice> devices;
  if (!listPresent(&devices)) return UsbResult::Failed;
  UsbResult result = UsbResult::NotFound;
  for (const PresentDevice& present : devices) {
    if (present.id.isInterface || !usbSerialMatches(present.id.serial, serialNumber)) continue;
    result = openWinUsb(present, out, endpoints);
    if (result == UsbResult::Ok) break;
  }
  return result;
}

// Waits for an overlapped transfer on the driver's handle, cancelling it
// after timeoutMs.
UsbResult finishDriverTransfer(HANDLE file, OVERLAPPED* overlapped, uint32_t timeoutMs, size_t* moved) {
  DWORD done = 0;
  bool timedOut = WaitForSingleObject(overlapped->hEvent, timeoutMs) != WAIT_OBJECT_0;
  if (timedOut) CancelIo(file);
  BOOL ok = GetOverlappedResult(file, overlapped, &done, TRUE);
  *moved = done;
  if (ok) return UsbResult::Ok;
  DWORD error = GetLastError();
  return timedOut && error == ERROR_OPERATION_ABORTED ? UsbResult::Timeout : resultOf(error);
}

UsbResult driverTransfer(UsbDevice* device, bool in, uint8_t* buffer, size_t size, size_t* moved,
                         uint32_t timeoutMs) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = in ? device->readEvent : device->writeEvent;
  ResetEvent(overlapped.hEvent);
  DWORD done = 0;
  DWORD count = size > 0xFFFFu ? 0xFFFFu : static_cast<DWORD>(size);
  BOOL ok = in ? ReadFile(device->file, buffer, count, &done, &overlapped)
               : WriteFile(device->file, buffer, count, &done, &overlapped);
  if (ok) {
    *moved = done;
    return UsbResult::Ok;
  }
  if (GetLastError() != ERROR_IO_PENDING) return resultOf(GetLastError());
  return finishDriverTransfer(device->file, &overlapped, timeoutMs, moved);
}

UsbResult winUsbTransfer(UsbDevice* device, uint8_t endpoint, bool in, uint8_t* buffer, size_t size,
                         size_t* moved, uint32_t timeoutMs) {
  ULONG timeout = timeoutMs;
  WinUsb_SetPipePolicy(device->winusb, endpoint, PIPE_TRANSFER_TIMEOUT, sizeof timeout, &timeout);
  ULONG done = 0;
  ULONG count = size > 0xFFFFu ? 0xFFFFu : static_cast<ULONG>(size);
  BOOL ok = in ? WinUsb_ReadPipe(device->winusb, endpoint, buffer, count, &done, nullptr)
               : WinUsb_WritePipe(device->winusb, endpoint, buffer, count, &done, nullptr);
  *moved = done;
  return ok ? UsbResult::Ok : resultOf(GetLastError());
}

UsbResult systemBulkRead(UsbDevice* device, uint8_t endpoint, uint8_t* buffer, size_t size, size_t* received,
                         uint32_t timeoutMs) {
  *received = 0;
  if (!device) return UsbResult::Failed;
  return device->winusb ? winUsbTransfer(device, endpoint, true, buffer, size, received, timeoutMs)
                        : driverTransfer(device, true, buffer, size, received, timeoutMs);
}

UsbResult systemBulkWrite(UsbDevice* device, uint8_t endpoint, const uint8_t* buffer, size_t size, size_t* sent,
                          uint32_t timeoutMs) {
  *sent = 0;
  if (!device) return UsbResult::Failed;
  // Neither call writes into the buffer of an OUT transfer.
  uint8_t* bytes = const_cast<uint8_t*>(buffer);
  return device->winusb ? winUsbTransfer(device, endpoint, false, bytes, size, sent, timeoutMs)
                        : driverTransfer(device, false, bytes, size, sent, timeoutMs);
}

void systemClose(UsbDevice* device) {
  if (!device) return;
  if (device->winusb) WinUsb_Free(device->winusb);
  CloseHandle(device->file);
  CloseHandle(device->readEvent);
  CloseHandle(device->writeEvent);
  delete device;
}

const UsbOps kSystemOps = {systemEnumerate, systemOpen, systemBulkRead, systemBulkWrite, systemClose};

}  // namespace

const UsbOps* usbSystemOps() { return &kSystemOps; }

}  // namespace platform
