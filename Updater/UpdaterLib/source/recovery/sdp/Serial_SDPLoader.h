#ifndef UPDATER_SERIAL_SDP_LOADER_H
#define UPDATER_SERIAL_SDP_LOADER_H
// The serial download protocol over a serial port at 115200 baud, 8N1.
#include <string>

#include "SDPLoader_Interface.h"
#include "aStream.h"

class Serial_SDPLoader : public SDPLoader_Interface {
 public:
  // portName is the port as the operator names it (e.g. /dev/ttyUSB0).
  explicit Serial_SDPLoader(const std::string& portName);
  ~Serial_SDPLoader() override;
  Serial_SDPLoader(const Serial_SDPLoader&) = delete;
  Serial_SDPLoader& operator=(const Serial_SDPLoader&) = delete;

  bool open() override;
  // Sends the report without its ID byte; returns the bytes sent, or -1 when
  // the port fails or stops taking bytes (the serial stream gives up after a
  // bounded stall).
  std::ptrdiff_t write(const std::vector<uint8_t>& bytes) override;
  // Waits delayMs, then appends bytes until none comes within the byte wait.
  std::ptrdiff_t read(std::vector<uint8_t>& buffer, uint32_t delayMs) override;
  bool responseWord(const std::vector<uint8_t>& response, size_t offset, uint32_t& word) override;

  // The path opened for the port name.
  const std::string& devicePath() const { return path; }
  // How long one byte of a reply is waited for: 10 ms per byte plus 50 ms.
  static constexpr uint32_t kByteWaitMs = 60;
  // Tests on a loaded machine may give the device more time.
  void setByteWait(uint32_t milliseconds) { byteWaitMs = milliseconds; }

 private:
  std::string path;
  aStreamRef stream = nullptr;
  uint32_t byteWaitMs = kByteWaitMs;
};

#endif
