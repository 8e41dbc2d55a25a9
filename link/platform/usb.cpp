// Which USB operation table is in use.
#include "platform/usb.h"

#include <atomic>

namespace platform {

namespace {
std::atomic<const UsbOps*> installedOps{nullptr};
}

const UsbOps* usbOps() {
  const UsbOps* ops = installedOps.load();
  return ops ? ops : usbSystemOps();
}

void usbSetOps(const UsbOps* ops) {
  installedOps.store(ops);
}

}  // namespace platform
