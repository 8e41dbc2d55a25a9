#ifndef SIMMODULE_USB_USBBOOTLOADER_H
#define SIMMODULE_USB_USBBOOTLOADER_H
// The serial download boot loader as a HID device (0x1FC9:0x0130) on the
// simulated USB bus: the simulated loader's HID front (simsdp) shapes the
// replies to each output report, the gadget carries reports both ways.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "FakeHidDevice.h"
#include "UsbGadget.h"

struct UsbBootLoader {
  simsdp::FakeHidDevice hid;  // not installed: the gadget calls it
  std::shared_ptr<simusb::UsbGadget> gadget{new simusb::UsbGadget(simusb::bootLoaderIdentity())};
  sdp::HidHandle handle = hid.open(0x1FC9, 0x0130);
  std::mutex lock;
  std::condition_variable jumped;
  bool hasJumped = false;
  uint32_t jumpAddress = 0;

  UsbBootLoader() {
    hid.device().onJump = [this](uint32_t address) {
      std::lock_guard<std::mutex> guard(lock);
      hasJumped = true;
      jumpAddress = address;
      jumped.notify_all();
    };
    gadget->onReport = [this](const simusb::Bytes& report) {
      hid.write(handle, report.data(), report.size());
      uint8_t reply[2048];
      int n;
      while ((n = hid.readTimeout(handle, reply, sizeof reply, 0)) > 0) gadget->sendReport(simusb::Bytes(reply, reply + n));
    };
  }
  // The address the loader was started at, once it was; false after timeoutMs.
  bool waitForJump(uint32_t timeoutMs, uint32_t* address) {
    std::unique_lock<std::mutex> guard(lock);
    if (!jumped.wait_for(guard, std::chrono::milliseconds(timeoutMs), [this] { return hasJumped; })) return false;
    *address = jumpAddress;
    return true;
  }
};

#endif
