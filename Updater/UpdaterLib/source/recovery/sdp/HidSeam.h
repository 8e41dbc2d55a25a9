#ifndef UPDATER_SDP_HID_SEAM_H
#define UPDATER_SDP_HID_SEAM_H
// The six HID calls the serial download loader makes, behind one interface so
// that a simulated device can stand in for the HID library.
#include <cstddef>
#include <cstdint>

namespace sdp {

using HidHandle = void*;

class HidBackend {
 public:
  virtual ~HidBackend() = default;
  virtual int init() = 0;
  // The first device with this vendor and product; null when none.
  virtual HidHandle open(uint16_t vendor, uint16_t product) = 0;
  // Writes one report (ID first); the count written or -1.
  virtual int write(HidHandle device, const uint8_t* data, size_t length) = 0;
  // One report of at most length bytes within milliseconds: its size, 0 when
  // none came, -1 on failure.
  virtual int readTimeout(HidHandle device, uint8_t* data, size_t length, int milliseconds) = 0;
  virtual void close(HidHandle device) = 0;
  virtual int exit() = 0;
};

// The backend in use: the HID library unless one was set.
HidBackend& hidBackend();
// Replaces the backend (null goes back to the HID library). The caller keeps
// ownership and keeps it alive while loaders use it.
void setHidBackend(HidBackend* backend);

}  // namespace sdp

#endif
