// The HID library as the default backend of the HID seam.
#include "HidSeam.h"

#include <hidapi.h>

namespace sdp {

namespace {

class HidLibrary : public HidBackend {
 public:
  int init() override { return hid_init(); }
  HidHandle open(uint16_t vendor, uint16_t product) override { return hid_open(vendor, product, nullptr); }
  int write(HidHandle device, const uint8_t* data, size_t length) override {
    return hid_write(static_cast<hid_device*>(device), data, length);
  }
  int readTimeout(HidHandle device, uint8_t* data, size_t length, int milliseconds) override {
    return hid_read_timeout(static_cast<hid_device*>(device), data, length, milliseconds);
  }
  void close(HidHandle device) override { hid_close(static_cast<hid_device*>(device)); }
  int exit() override { return hid_exit(); }
};

HidLibrary library;
HidBackend* current = &library;

}  // namespace

HidBackend& hidBackend() {
  return *current;
}

void setHidBackend(HidBackend* backend) {
  current = backend ? backend : &library;
}

}  // namespace sdp
