#ifndef UPDATER_RECOVERY_NXP_SERIAL_ISP_H
#define UPDATER_RECOVERY_NXP_SERIAL_ISP_H
// Client of the processor's serial ISP boot loader: opens a serial port at a
// chosen rate, synchronises, switches the echo, unlocks, prepares and erases
// sectors, writes RAM in UU-encoded lines with checksums, copies RAM to flash,
// reads the device serial number and starts the code. Diagnostics go to the
// channels DEBUG_NXPSerial (steps and errors), DEBUG_NXPSerial_E (echo and
// waits) and DEBUG_NXPSerial_SR (bytes sent and received).
#include <cstddef>
#include <cstdint>
#include <string>

#include "aError.h"
#include "aStream.h"
#include "recovery/isp/IspProtocol.h"

class NXPSerialISP {
 public:
  NXPSerialISP();
  ~NXPSerialISP();
  NXPSerialISP(const NXPSerialISP&) = delete;
  NXPSerialISP& operator=(const NXPSerialISP&) = delete;

  // Opens portName (a device path) at the rate baud is rounded to (see
  // ispRoundRate). A stream left open is closed first.
  aErr open(const char* portName, uint32_t baud);
  // Destroys the stream (nothing when closed).
  aErr close();

  // Boot-loader commands. Each status line is awaited up to the target's
  // statusTimeoutMs (long enough for an erase of the whole flash):
  // aErrTimeout when none comes, aErrParam for any status but 0 (the whole
  // number on the line is judged, so 10 is a failure, echo on or off).
  aErr sync();
  aErr setEcho(bool on);
  aErr unlock();
  aErr prepareSectors(uint32_t first, uint32_t last);
  aErr eraseSectors(uint32_t first, uint32_t last);
  // Writes count bytes (a non-zero multiple of 4) of data to RAM at ramAddress.
  aErr Write(uint32_t ramAddress, uint32_t count, const uint8_t* data);
  // count must be 256, 512, 1024 or 4096 and flashAddress a multiple of 256.
  aErr copyRamToFlash(uint32_t flashAddress, uint32_t ramAddress, uint32_t count);
  // Starts the code at address (Thumb mode); the loader answers no more.
  aErr go(uint32_t address);
  // Reads the four words of the device serial number (see serialNumber()).
  aErr readSerialNumber();

  // Sector number of an address (30 outside the flash).
  uint32_t sectorOf(uint32_t address) const;
  // The copy length for count bytes (256, 512, 1024 or 4096); above 4096
  // prints a warning and returns count.
  uint32_t copyLength(uint32_t count) const;

  // The four words read by readSerialNumber (zero before).
  const uint32_t* serialNumber() const { return serial_; }
  bool echo() const { return echo_; }
  uint32_t baudRate() const { return baud_; }
  const std::string& portName() const { return portName_; }
  const IspTarget& target() const { return target_; }
  bool isOpen() const { return stream_ != nullptr; }

  // Line level.
  // Writes a command text; reads back its echo while the echo is on. waitMs
  // > 0 sleeps that long after writing.
  aErr SendCommand(const char* text, int waitMs);
  // Writes raw text paced by its wire time; with checkEcho reads its echo.
  aErr Send(const char* text, bool checkEcho);
  // Reads the echo of the first count characters of text, one byte per
  // character (line ends left by an earlier echo are skipped first);
  // *matched receives how many came back right. Gives up after the target's
  // echo time (aErrTimeout).
  aErr GetEcho(const char* text, int count, int* matched);
  // Reads one line up to and including "\r\n" into buffer (NUL-terminated),
  // for at most timeoutMs milliseconds (aErrTimeout when the line did not
  // end in time). *length receives the byte count.
  aErr GetLine(char* buffer, size_t size, size_t* length, uint32_t timeoutMs);
  // Reads a reply of known length (expected may be null: up to size - 1
  // bytes or "\r\n"), reporting bytes that differ from expected.
  aErr Response(char* buffer, size_t size, size_t* length, const char* expected, size_t expectedLength);

 private:
  // Sends a command and judges its status line; errorPrefix begins the
  // error line printed on channel.
  aErr command(const char* text, const char* errorPrefix, uint32_t channel);
  // Prepare (P) or erase (E) of the sectors first to last.
  aErr sectorCommand(char letter, uint32_t first, uint32_t last);
  aErr readStatus(const char* errorPrefix, uint32_t channel);
  aErr writeBlocks(uint32_t count, const uint8_t* data);
  aErr sendLines(const uint8_t* data, uint32_t* position, uint32_t count);
  aErr readByte(uint8_t* byte, uint64_t deadlineUs, uint32_t channel);
  uint64_t deadlineAfter(uint32_t milliseconds) const;
  uint32_t account(size_t length);
  void pace();

  const IspTarget& target_;
  aStreamRef stream_ = nullptr;
  bool echo_ = true;
  uint32_t baud_ = 0;
  std::string portName_;
  uint32_t serial_[4] = {0, 0, 0, 0};
  uint64_t wireFreeAtUs_ = 0;  // when the texts sent so far have left the wire
};

#endif
