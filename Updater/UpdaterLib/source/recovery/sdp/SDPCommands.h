#ifndef UPDATER_SDP_COMMANDS_H
#define UPDATER_SDP_COMMANDS_H
// The serial download protocol's reports and replies, free of I/O.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sdp {

// Command types; both type bytes of a command carry the same value.
enum : uint8_t {
  kWriteFile = 0x04,
  kErrorStatus = 0x05,
  kJumpAddress = 0x0B,
};

enum : uint8_t {
  kCommandReportId = 1,
  kDataReportId = 2,
  kHabReportId = 3,
  kStatusReportId = 4,
};

constexpr size_t kCommandSize = 17;         // report ID + 16 command bytes
constexpr size_t kDataReportPayload = 1024;  // data bytes in one data report
constexpr uint8_t kWriteFileFormat = 0x20;
constexpr uint32_t kTransferComplete = 0x88888888;
// One HID report as the device sends it: report ID and 64 bytes.
constexpr size_t kHidReportSize = 65;
// A HID reply: the HAB report (ID and 4 bytes) and one status report.
constexpr size_t kHidReplySize = 5 + kHidReportSize;
// A serial reply: the HAB-mode word and the status word.
constexpr size_t kSerialReplySize = 8;
constexpr size_t kMaxResponseOffset = 15;

// The 17-byte command: report ID 1, type twice, address big-endian, format
// (0x20 for WRITE_FILE, else 0), count big-endian (WRITE_FILE only), zeros.
std::vector<uint8_t> buildCommand(uint8_t type, uint32_t address, uint32_t count);
// Report ID 2 followed by data[offset ...], at most 1024 bytes of it.
std::vector<uint8_t> buildDataReport(const std::vector<uint8_t>& data, size_t offset);

// Status word of a HID reply (exactly 70 bytes), read little-endian from
// bytes offset+6 ... offset+9 and ORed into word.
bool hidResponseWord(const std::vector<uint8_t>& response, size_t offset, uint32_t& word);
// Status word of a serial reply (at least 4 * offset + 8 bytes), read from
// bytes offset+4 ... offset+7 and ORed into word.
bool serialResponseWord(const std::vector<uint8_t>& response, size_t offset, uint32_t& word);

// Every byte as "%X " followed by a line end, as the traces print them.
std::string hexDump(const std::vector<uint8_t>& bytes);

}  // namespace sdp

#endif
