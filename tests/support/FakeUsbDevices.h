#ifndef TESTS_SUPPORT_FAKEUSBDEVICES_H
#define TESTS_SUPPORT_FAKEUSBDEVICES_H
// A USB bus that lists made-up devices and opens none of them: while a
// FakeUsbDevices lives it is the table of USB operations the library uses
// (platform::usbSetOps), so discovery walks exactly the devices a test puts
// in `devices`, whatever the machine has plugged in. The walk keeps to the
// table's contract (only the vendor asked for, 0 = every vendor); an open
// finds no device.
// For modules that must also answer once opened, see FakeUsbBus.
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/usb.h"

class FakeUsbDevices {
 public:
  FakeUsbDevices() {
    current() = this;
    platform::usbSetOps(&table());
  }
  ~FakeUsbDevices() {
    platform::usbSetOps(nullptr);
    current() = nullptr;
  }
  FakeUsbDevices(const FakeUsbDevices&) = delete;
  FakeUsbDevices& operator=(const FakeUsbDevices&) = delete;

  static platform::UsbDeviceInfo device(uint16_t vendor, uint16_t product, const char* serial,
                                        bool linkInterface = true, bool permissionDenied = false) {
    platform::UsbDeviceInfo d;
    std::memset(&d, 0, sizeof d);
    d.vendorId = vendor;
    d.productId = product;
    std::strncpy(d.serial, serial, sizeof d.serial - 1);
    d.hasLinkInterface = linkInterface;
    d.permissionDenied = permissionDenied;
    return d;
  }

  // The present devices, in the order the walk visits them.
  std::vector<platform::UsbDeviceInfo> devices;

 private:
  static FakeUsbDevices*& current() {
    static FakeUsbDevices* bus = nullptr;
    return bus;
  }

  static bool enumerate(uint16_t vendorId, platform::UsbVisit visit, void* ref) {
    const std::vector<platform::UsbDeviceInfo> present = current()->devices;
    for (const platform::UsbDeviceInfo& d : present)
      if ((vendorId == 0 || d.vendorId == vendorId) && !visit(&d, ref)) break;
    return true;
  }

  static platform::UsbResult open(uint32_t, platform::UsbDevice**, platform::UsbEndpoints*) {
    return platform::UsbResult::NotFound;
  }

  static const platform::UsbOps& table() {
    static const platform::UsbOps ops = {enumerate, open, nullptr, nullptr, nullptr};
    return ops;
  }
};

#endif
