#ifndef KELVARION_PLATFORM_USB_IDENTITY_H
#define KELVARION_PLATFORM_USB_IDENTITY_H
// How a USB module is named by the system, free of I/O: the device instance
// identifier "USB\VID_vvvv&PID_pppp\serial" that Windows gives every USB
// device, and the device name of the maker's optional kernel driver.
//
// Nothing to port: these are pure functions (platform/usb_identity.cpp)
// shared by every backend; a backend uses them to read the names its system
// gives.
#include <cstddef>
#include <cstdint>

namespace platform {

struct UsbInstanceId {
  uint16_t vendorId;
  uint16_t productId;
  char serial[64];      // the part after the last backslash, as given
  bool isInterface;     // "&MI_nn": one interface of a composite device
};

// Parses an instance identifier ("USB\VID_2A8B&PID_0013\0000ABCD", any case).
// False for anything else, including a serial that does not fit.
bool usbParseInstanceId(const char* id, UsbInstanceId* out);

// Reads a USB serial-number string: 1 to 8 hex digits (any case), nothing
// else. False (and *serialNumber untouched) for any other text.
bool usbParseSerial(const char* text, uint32_t* serialNumber);

// True when text is the serial number written in hex (1 to 8 digits, any case).
bool usbSerialMatches(const char* text, uint32_t serialNumber);

// "\\.\kelvarion.%08X" for the serial number, into buffer of size bytes;
// false when it does not fit.
bool usbKernelDriverName(uint32_t serialNumber, char* buffer, size_t size);

}  // namespace platform

#endif
