#ifndef KELVARION_PLATFORM_USB_H
#define KELVARION_PLATFORM_USB_H
// USB devices behind a table of operations, so that the logic above (the USB
// stream, USB discovery) can be run against a fake table in tests. The
// default table is the system's USB backend.
//
// Backend contract (platform/<system>/usb_*.cpp): fill in one UsbOps table and
// return it from usbSystemOps(); usb.cpp (shared) picks the table in use. One
// opened device is used by one reader thread and one writer thread at a time;
// enumerate may run at the same time from another thread. Every transfer
// returns within its timeoutMs with what moved so far; open never waits for a
// device to appear. Failures are UsbResult values, never printed; a device
// that went away ends its transfers with NoDevice.
#include <cstddef>
#include <cstdint>

namespace platform {

// The interface that carries a module's packet link.
constexpr uint8_t kUsbLinkClass = 0xFF;
constexpr uint8_t kUsbLinkSubclass = 0x88;
constexpr uint8_t kUsbLinkProtocol = 0x10;

struct UsbDeviceInfo {
  uint16_t vendorId;
  uint16_t productId;
  // The serial-number string descriptor as the device reports it (modules
  // report their 32-bit serial number as 8 hex digits); empty when unreadable.
  char serial[64];
  // The device has an interface of class/subclass/protocol 0xFF/0x88/0x10.
  bool hasLinkInterface;
  // The system refused to open the device to this user (serial is then empty).
  bool permissionDenied;
};

// Endpoint addresses and maximum packet sizes of the link interface.
struct UsbEndpoints {
  uint8_t bulkIn;
  uint16_t bulkInSize;
  uint8_t bulkOut;
  uint16_t bulkOutSize;
  uint8_t interruptIn;  // 0 when the interface has none (recorded, not used)
  uint16_t interruptInSize;
};

enum class UsbResult {
  Ok,
  Timeout,    // nothing (or not everything) moved within the time given
  NotFound,   // no present device carries that serial number
  Busy,       // another process holds the link interface
  Permission, // the system does not let this user open the device
  Cancelled,  // the transfer was cancelled
  NoDevice,   // the device went away
  Failed      // any other failure
};

struct UsbDevice;  // an opened device with its link interface claimed

// Called for each device; returns false to stop the walk.
using UsbVisit = bool (*)(const UsbDeviceInfo* info, void* ref);

struct UsbOps {
  // Walks the present devices of vendorId (0 = every vendor). False when the
  // bus cannot be listed. A device this user may not open is still visited,
  // with permissionDenied set.
  bool (*enumerate)(uint16_t vendorId, UsbVisit visit, void* ref);
  // Opens the device whose serial-number string is serialNumber as "%08X"
  // (any case) and has the link interface, claims that interface (alternate
  // setting 0), clears both bulk pipes and fills *endpoints.
  UsbResult (*open)(uint32_t serialNumber, UsbDevice** device, UsbEndpoints* endpoints);
  // One bulk IN transfer of up to size bytes, waiting at most timeoutMs;
  // *received counts what arrived (also on Timeout).
  UsbResult (*bulkRead)(UsbDevice* device, uint8_t endpoint, uint8_t* buffer, size_t size, size_t* received,
                        uint32_t timeoutMs);
  // One bulk OUT transfer; *sent counts what was taken.
  UsbResult (*bulkWrite)(UsbDevice* device, uint8_t endpoint, const uint8_t* buffer, size_t size, size_t* sent,
                         uint32_t timeoutMs);
  // Releases the interface and closes the device.
  void (*close)(UsbDevice* device);
};

// The table in use: the system backend unless a test installed another.
const UsbOps* usbOps();
// Installs a table (tests); null puts the system backend back.
void usbSetOps(const UsbOps* ops);
// The system backend's own table.
const UsbOps* usbSystemOps();

}  // namespace platform

#endif
