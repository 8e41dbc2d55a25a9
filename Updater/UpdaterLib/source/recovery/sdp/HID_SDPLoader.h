#ifndef UPDATER_HID_SDP_LOADER_H
#define UPDATER_HID_SDP_LOADER_H
// The serial download protocol over USB HID (through the HID backend seam).
#include "HidSeam.h"
#include "SDPLoader_Interface.h"

class HID_SDPLoader : public SDPLoader_Interface {
 public:
  HID_SDPLoader(uint16_t vendor, uint16_t product);
  ~HID_SDPLoader() override;
  HID_SDPLoader(const HID_SDPLoader&) = delete;
  HID_SDPLoader& operator=(const HID_SDPLoader&) = delete;

  bool open() override;
  std::ptrdiff_t write(const std::vector<uint8_t>& bytes) override;
  std::ptrdiff_t read(std::vector<uint8_t>& buffer, uint32_t timeoutMs) override;
  bool responseWord(const std::vector<uint8_t>& response, size_t offset, uint32_t& word) override;

 private:
  sdp::HidBackend* hid;  // the backend in use when the loader was made
  sdp::HidHandle handle = nullptr;
  uint16_t vendor;
  uint16_t product;
  bool initialised = false;
};

#endif
