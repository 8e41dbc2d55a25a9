// I/O-free pieces of the serial ISP protocol.
#include "recovery/isp/IspProtocol.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const IspTarget kIspTarget = {
    {{0x0, 4096, 16}, {0x10000, 32768, 14}},
    30,          // sector for an address outside the flash
    14746,       // 14.7456 MHz crystal, in kHz
    0x10001000,  // RAM buffer
    45,          // data bytes per line
    20,          // lines per checksum
    3,           // tries per W
    4096,        // largest copy
    23130,       // unlock code
    10000,       // status line: a full-chip erase takes a few seconds on the real part
    2000,        // checksum reply
    1000,        // reply of known length, beyond its wire time
    1000,        // echo of one text
    1000,        // each serial-number line
};

const uint32_t kIspRates[8] = {2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400};

uint32_t ispRoundRate(uint32_t requested, uint32_t* index) {
  uint32_t chosen = 2;  // 9600 for a rate above the table
  if (requested <= kIspRates[0]) {
    chosen = 0;
  } else {
    for (uint32_t i = 0; i < 8; ++i) {
      if (kIspRates[i] >= requested) {
        chosen = i;
        break;
      }
    }
  }
  if (index)
    *index = chosen;
  return kIspRates[chosen];
}

uint32_t ispSectorOf(const IspTarget& target, uint32_t address) {
  uint32_t number = 0;
  for (const IspSectorRun& run : target.sectors) {
    uint64_t end = static_cast<uint64_t>(run.start) + static_cast<uint64_t>(run.size) * run.count;
    if (address >= run.start && address < end)
      return number + (address - run.start) / run.size;
    number += run.count;
  }
  return target.sectorOutside;
}

namespace {
const uint32_t kCopyLengths[] = {256, 512, 1024, 4096};
}

uint32_t ispCopyLength(uint32_t count) {
  for (uint32_t length : kCopyLengths) {
    if (count <= length)
      return length;
  }
  return count;
}

bool ispValidCopyLength(uint32_t count) {
  for (uint32_t length : kCopyLengths) {
    if (count == length)
      return true;
  }
  return false;
}

namespace {
char uuChar(uint32_t sixBits) {
  return sixBits == 0 ? '\x60' : static_cast<char>(sixBits + 32);
}
}  // namespace

size_t ispUuLineLength(size_t count) {
  return 1 + (count + 2) / 3 * 4;
}

size_t ispUuEncodeLine(const uint8_t* data, size_t count, char* out) {
  size_t n = 0;
  out[n++] = uuChar(static_cast<uint32_t>(count));
  for (size_t i = 0; i < count; i += 3) {
    uint32_t group = static_cast<uint32_t>(data[i]) << 16;
    if (i + 1 < count)
      group |= static_cast<uint32_t>(data[i + 1]) << 8;
    if (i + 2 < count)
      group |= data[i + 2];
    for (int shift = 18; shift >= 0; shift -= 6)
      out[n++] = uuChar((group >> shift) & 0x3F);
  }
  out[n] = '\0';
  return n;
}

uint32_t ispChecksum(const uint8_t* data, size_t count) {
  uint32_t sum = 0;
  for (size_t i = 0; i < count; ++i)
    sum += data[i];
  return sum;
}

namespace {
bool isLineEnd(char c) {
  return c == '\r' || c == '\n';
}

// Parses the token [begin, end) as a whole number with automatic base.
bool parseWhole(const char* begin, const char* end, long* value) {
  if (begin >= end || end - begin > 20)
    return false;
  char token[24];
  memcpy(token, begin, static_cast<size_t>(end - begin));
  token[end - begin] = '\0';
  char* stop = nullptr;
  errno = 0;
  long parsed = strtol(token, &stop, 0);
  if (stop == token || *stop != '\0' || errno != 0)
    return false;
  *value = parsed;
  return true;
}
}  // namespace

bool ispParseStatus(const char* line, size_t length, bool echo, long* status) {
  if (!line || !status)
    return false;
  const char* begin = line;
  const char* end = line + length;
  while (end > begin && (isLineEnd(end[-1]) || end[-1] == '\0'))
    --end;
  if (echo) {
    // The status follows whatever came before it on the line.
    const char* token = end;
    while (token > begin && !isspace(static_cast<unsigned char>(token[-1])))
      --token;
    return parseWhole(token, end, status);
  }
  while (begin < end && isLineEnd(*begin))
    ++begin;
  const char* stop = begin;
  while (stop < end && !isspace(static_cast<unsigned char>(*stop)))
    ++stop;
  return parseWhole(begin, stop, status);
}

const char* ispStatusName(long status) {
  static const char* const kNames[] = {
      "CMD_SUCCESS", "INVALID_COMMAND", "SRC_ADDR_ERROR", "DST_ADDR_ERROR",
      "SRC_ADDR_NOT_MAPPED", "DST_ADDR_NOT_MAPPED", "COUNT_ERROR", "INVALID_SECTOR",
      "SECTOR_NOT_BLANK", "SECTOR_NOT_PREPARED_FOR_WRITE_OPERATION", "COMPARE_ERROR", "BUSY",
      "PARAM_ERROR", "ADDR_ERROR", "ADDR_NOT_MAPPED", "CMD_LOCKED",
      "INVALID_CODE", "INVALID_BAUD_RATE", "INVALID_STOP_BIT", "CODE_READ_PROTECTION_ENABLED"};
  if (status < 0 || status > 19)
    return "Unknown error";
  return kNames[status];
}

std::string ispHexBytes(const char* bytes, size_t count) {
  std::string out;
  char hex[4];
  for (size_t i = 0; i < count; ++i) {
    snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(bytes[i]));
    if (i)
      out += ' ';
    out += hex;
  }
  return out;
}

std::string ispPrintable(const char* bytes, size_t count, bool escapeLineEnds) {
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (escapeLineEnds && c == '\r')
      out += "\\r";
    else if (escapeLineEnds && c == '\n')
      out += "\\n";
    else
      out += isprint(c) ? static_cast<char>(c) : ' ';
  }
  return out;
}

double ispSendTimeMs(size_t length, uint32_t baud) {
  if (baud == 0)
    return 0.0;
  return static_cast<double>(length + 2) * 9.0 / baud * 1000.0;
}
