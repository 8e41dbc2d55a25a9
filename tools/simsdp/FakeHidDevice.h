#ifndef SIMSDP_FAKE_HID_DEVICE_H
#define SIMSDP_FAKE_HID_DEVICE_H
// The serial download boot loader as a HID device standing in for the HID
// library behind the loader's HID seam. Everything runs in the caller's
// thread: a report written is answered at once, and a read hands out the
// queued reply reports (HAB report ID 3 of 5 bytes, status and data reports
// ID 4 of 65 bytes), 0 when none is left.
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "HidSeam.h"
#include "SdpDevice.h"

namespace simsdp {

class FakeHidDevice : public sdp::HidBackend {
 public:
  explicit FakeHidDevice(const DeviceConfig& config = DeviceConfig(), uint16_t vendor = 0x1FC9,
                         uint16_t product = 0x0130);
  ~FakeHidDevice() override;  // uninstalls itself
  FakeHidDevice(const FakeHidDevice&) = delete;
  FakeHidDevice& operator=(const FakeHidDevice&) = delete;

  // Makes this device the HID backend of the process until uninstall().
  void install();
  void uninstall();
  // Whether open() finds the device (a test can unplug it).
  void setPresent(bool present);

  SdpDevice& device() { return device_; }
  // Sizes of the reports written, in order (report ID included).
  std::vector<size_t> reportSizes() const;
  // Whether a handle is open now, and how often init/exit were called.
  bool isOpen() const;
  int initCalls() const;
  int exitCalls() const;

  int init() override;
  sdp::HidHandle open(uint16_t vendor, uint16_t product) override;
  int write(sdp::HidHandle device, const uint8_t* data, size_t length) override;
  int readTimeout(sdp::HidHandle device, uint8_t* data, size_t length, int milliseconds) override;
  void close(sdp::HidHandle device) override;
  int exit() override;

 private:
  void queue(const std::vector<Reply>& replies);

  SdpDevice device_;
  uint16_t vendor_;
  uint16_t product_;
  mutable std::mutex mutex_;
  bool installed_ = false;
  bool present_ = true;
  bool open_ = false;
  int inits_ = 0;
  int exits_ = 0;
  std::vector<size_t> reportSizes_;
  std::deque<std::vector<uint8_t>> replies_;
};

}  // namespace simsdp

#endif
