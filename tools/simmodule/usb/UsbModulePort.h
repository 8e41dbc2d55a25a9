#ifndef SIMMODULE_USB_USBMODULEPORT_H
#define SIMMODULE_USB_USBMODULEPORT_H
// A simulated module on the simulated USB bus: the Simulator's endpoint is a
// device in a UsbTestbed. A host connection is one claim of the device's link
// interface; the module dropping its link takes the device off the bus, and
// it comes back (as a new device, possibly under another serial number) when
// the module is there again.
#include <memory>
#include <mutex>
#include <string>

#include "SimChannel.h"
#include "SimModule.h"
#include "UsbGadget.h"
#include "UsbTestbed.h"

namespace simusb {

class UsbModulePort : public simmodule::Port {
 public:
  UsbModulePort(UsbTestbed& bed, const UsbIdentity& identity);
  ~UsbModulePort() override;

  // Plugs the device in now (otherwise the simulator does on start).
  bool plugIn();
  // After its first removal the device comes back under this serial number
  // text (for example the placeholder "DEADDEAD"); empty keeps its own.
  void setReplugSerial(const std::string& serial);
  // Another process holds the device, now and after every plug: claims fail
  // with EBUSY.
  void setHeldElsewhere(bool held);
  // Pulls the device out now (any thread); it stays away until setPresent(true).
  void pullOut();
  // The device now on the bus, or null (any thread).
  std::shared_ptr<UsbGadget> gadget() const;
  // Makes the device now on the bus unreadable for programs without the
  // right to override file permissions.
  bool denyAccess();
  // How many times the device has been plugged in.
  unsigned plugs() const;

  std::unique_ptr<simmodule::Channel> accept(uint32_t timeoutMs) override;
  void setPresent(bool present) override;

  // Takes the device off the bus if connection is still the host's current
  // one (the module drops its link); used by the channel.
  void dropConnection(uint64_t connection);

 private:
  bool plugLocked();
  void unplugLocked();

  UsbTestbed& bed_;
  UsbIdentity identity_;
  std::string replugSerial_;
  mutable std::mutex lock_;
  std::shared_ptr<UsbGadget> gadget_;
  int handle_ = 0;
  bool present_ = true;
  bool heldElsewhere_ = false;
  unsigned plugs_ = 0;
  bool plugFailed_ = false;  // reported once
};

// A simulator whose endpoint is a USB device in bed with the module's serial
// number and model; the port stays reachable through *port (owned by the
// simulator) when port is given.
bool attachUsb(simmodule::Simulator& simulator, UsbTestbed& bed, UsbModulePort** port = nullptr);

}  // namespace simusb

#endif
