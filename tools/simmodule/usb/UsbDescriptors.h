#ifndef SIMMODULE_USB_USBDESCRIPTORS_H
#define SIMMODULE_USB_USBDESCRIPTORS_H
// What a simulated USB module tells the host about itself: its device and
// configuration descriptors, its string descriptors and the answers to the
// standard control requests, and the sysfs record of the device. Free of I/O.
#include <cstdint>
#include <string>
#include <vector>

namespace simusb {

using Bytes = std::vector<uint8_t>;

constexpr uint16_t kModuleVendorId = 0x3A7C;
constexpr uint8_t kBulkIn = 0x81;
constexpr uint8_t kBulkOut = 0x01;
constexpr uint8_t kInterruptIn = 0x82;

struct UsbIdentity {
  uint16_t vendorId = kModuleVendorId;
  uint16_t productId = 0x0013;  // the model number in the low byte
  std::string serial = "0012ABCD";
  std::string manufacturer = "Mirovane";
  std::string product = "Kelvarion module";
  uint16_t bulkPacketSize = 64;
  // The link interface: class, subclass, protocol.
  uint8_t interfaceClass = 0xFF;
  uint8_t interfaceSubclass = 0x88;
  uint8_t interfaceProtocol = 0x10;
  bool interruptEndpoint = true;  // an interrupt IN endpoint beside the bulk pair
  // A HID device instead: one interface of class 3 with its HID descriptor
  // and an interrupt IN endpoint (0x81) of 1024 bytes; output reports come
  // through SET_REPORT on the control pipe.
  bool hid = false;
};

// The serial download boot loader's HID device (0x1FC9:0x0130).
UsbIdentity bootLoaderIdentity();
// The report descriptor of that HID device: reports 1 (17 bytes) and 2 (1025)
// out, 3 (5) and 4 (65) in, each counting its ID.
Bytes hidReportDescriptor();

// The identity of a module with this serial number and model.
UsbIdentity moduleIdentity(uint32_t serialNumber, uint8_t model);

// Device descriptor followed by the one configuration descriptor with its
// interface and endpoint descriptors, as sysfs shows them in "descriptors".
Bytes deviceDescriptors(const UsbIdentity& identity);

// The 8-byte setup packet of a control transfer.
struct SetupPacket {
  uint8_t requestType = 0;
  uint8_t request = 0;
  uint16_t value = 0;
  uint16_t index = 0;
  uint16_t length = 0;
};
SetupPacket parseSetup(const uint8_t* bytes);

// Answers a standard control request: true with the data stage (at most
// setup.length bytes) in *data, false when the device stalls the request.
bool answerControl(const UsbIdentity& identity, const SetupPacket& setup, Bytes* data);

// The umockdev record of the device at bus 1, address devnum, under sysfs
// path /devices/usb1/1-port.
std::string sysfsRecord(const UsbIdentity& identity, unsigned port, unsigned devnum);
// "/dev/bus/usb/001/NNN" and "/sys/devices/usb1/1-port".
std::string deviceNode(unsigned devnum);
std::string sysfsPath(unsigned port);

}  // namespace simusb

#endif
