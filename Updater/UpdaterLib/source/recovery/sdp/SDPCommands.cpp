// Building the serial download reports and reading the replies.
#include "SDPCommands.h"

#include <algorithm>
#include <cstdio>

namespace sdp {

namespace {

void putBigEndian(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  out[at] = static_cast<uint8_t>(value >> 24);
  out[at + 1] = static_cast<uint8_t>(value >> 16);
  out[at + 2] = static_cast<uint8_t>(value >> 8);
  out[at + 3] = static_cast<uint8_t>(value);
}

uint32_t littleEndianAt(const std::vector<uint8_t>& bytes, size_t at) {
  return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
         static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

}  // namespace

std::vector<uint8_t> buildCommand(uint8_t type, uint32_t address, uint32_t count) {
  std::vector<uint8_t> command(kCommandSize, 0);
  command[0] = kCommandReportId;
  command[1] = type;
  command[2] = type;
  putBigEndian(command, 3, address);
  if (type == kWriteFile) {
    command[7] = kWriteFileFormat;
    putBigEndian(command, 8, count);
  }
  return command;
}

std::vector<uint8_t> buildDataReport(const std::vector<uint8_t>& data, size_t offset) {
  size_t start = std::min(offset, data.size());
  size_t size = std::min(kDataReportPayload, data.size() - start);
  std::vector<uint8_t> report;
  report.reserve(size + 1);
  report.push_back(kDataReportId);
  report.insert(report.end(), data.begin() + static_cast<std::ptrdiff_t>(start),
                data.begin() + static_cast<std::ptrdiff_t>(start + size));
  return report;
}

bool hidResponseWord(const std::vector<uint8_t>& response, size_t offset, uint32_t& word) {
  if (response.size() != kHidReplySize || offset > kMaxResponseOffset)
    return false;
  word |= littleEndianAt(response, offset + 6);
  return true;
}

bool serialResponseWord(const std::vector<uint8_t>& response, size_t offset, uint32_t& word) {
  if (offset > kMaxResponseOffset || response.size() < 4 * offset + kSerialReplySize)
    return false;
  word |= littleEndianAt(response, offset + 4);
  return true;
}

std::string hexDump(const std::vector<uint8_t>& bytes) {
  std::string text;
  char item[4];
  for (uint8_t byte : bytes) {
    snprintf(item, sizeof item, "%X ", byte);
    text += item;
  }
  text += "\n";
  return text;
}

}  // namespace sdp
