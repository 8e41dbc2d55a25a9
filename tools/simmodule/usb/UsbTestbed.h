#ifndef SIMMODULE_USB_USBTESTBED_H
#define SIMMODULE_USB_USBTESTBED_H
// A umockdev test bed with simulated USB devices: sysfs entries and
// /dev/bus/usb nodes for each plugged gadget, and a handler that carries the
// usbfs requests of programs running inside the bed (libusb's Linux backend)
// to the gadget. Programs run inside the bed with the environment from
// childEnvironment() (the umockdev preload library and the bed's directory).
//
// Devices can be pulled out and plugged in again while programs run: a
// removal sends the "remove" event and takes the nodes away, and a plug
// announces a new device with the next free address.
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "UsbGadget.h"

namespace simusb {

class UsbTestbed {
 public:
  UsbTestbed();
  ~UsbTestbed();
  UsbTestbed(const UsbTestbed&) = delete;
  UsbTestbed& operator=(const UsbTestbed&) = delete;

  // Whether the preload library that programs inside a bed need is installed.
  static bool available();
  // Whether this process runs with that library preloaded.
  static bool inMockEnvironment();
  // LD_PRELOAD (the library first) and ASAN_OPTIONS for a process to run
  // with the preload library.
  static std::vector<std::string> preloadEnvironment();
  // False when the bed could not be made; error() says why.
  bool ok() const { return bed_ != nullptr; }
  const std::string& error() const { return error_; }
  std::string rootDirectory() const;

  // Adds a device answered by gadget; returns its handle (> 0), or 0 on
  // failure (error() says why).
  int plug(const std::shared_ptr<UsbGadget>& gadget);
  // Pulls the device out: the gadget answers ENODEV from now on.
  void unplug(int handle);
  // The device node of a plugged device ("/dev/bus/usb/001/NNN"), empty when unknown.
  std::string node(int handle) const;
  // Makes the device node unreadable for programs without the right to
  // override file permissions.
  bool denyAccess(int handle);

  // "KEY=VALUE" entries that make a program run inside this bed.
  std::vector<std::string> childEnvironment() const;
  // Sets the same variables in this process's environment (for programs
  // started by the shell later, and for libraries loaded with the preload
  // library already in place).
  void exportEnvironment() const;

  struct Device;  // one plugged device and its usbfs handler

 private:
  mutable std::mutex lock_;
  struct _UMockdevTestbed* bed_ = nullptr;
  std::string error_;
  unsigned nextNumber_ = 2;  // address 1 is the root hub's
  std::map<int, std::unique_ptr<Device>> devices_;
};

}  // namespace simusb

#endif
