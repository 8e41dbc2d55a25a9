#ifndef UPDATER_SDP_LOADER_INTERFACE_H
#define UPDATER_SDP_LOADER_INTERFACE_H
// The transport under the serial download client: USB HID or a serial line.
#include <cstddef>
#include <cstdint>
#include <vector>

class SDPLoader_Interface {
 public:
  virtual ~SDPLoader_Interface() = default;
  // Opens the device; false when it cannot be reached.
  virtual bool open() = 0;
  // Sends one report (its report ID first; a serial line leaves the ID out).
  // Returns the bytes written, negative on failure.
  virtual std::ptrdiff_t write(const std::vector<uint8_t>& bytes) = 0;
  // Appends what the device sends within timeoutMs to buffer; returns the
  // number of bytes appended.
  virtual std::ptrdiff_t read(std::vector<uint8_t>& buffer, uint32_t timeoutMs) = 0;
  // ORs the status word that follows the 4-byte HAB-mode word of a reply into
  // word (little-endian); false when the reply does not have this
  // transport's shape.
  virtual bool responseWord(const std::vector<uint8_t>& response, size_t offset, uint32_t& word) = 0;
};

#endif
