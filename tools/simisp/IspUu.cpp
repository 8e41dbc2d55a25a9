// UU-encoding of the loader's data lines.
#include "IspUu.h"

namespace {

bool sixBits(char c, uint32_t* value) {
  unsigned char u = static_cast<unsigned char>(c);
  if (u < 0x20 || u > 0x60)
    return false;
  *value = (u - 0x20) & 0x3F;
  return true;
}

char uuChar(uint32_t v) {
  return v == 0 ? '\x60' : static_cast<char>(v + 0x20);
}

}  // namespace

bool uuDecodeLine(const std::string& line, std::vector<uint8_t>* out) {
  out->clear();
  uint32_t count;
  if (line.empty() || !sixBits(line[0], &count) || count > 45)
    return false;
  // A damaged line still stands for count bytes, so that the checksum of its
  // block fails rather than the loader losing count of the lines.
  bool good = true;
  size_t groups = (count + 2) / 3;
  for (size_t g = 0; g < groups; ++g) {
    uint32_t word = 0;
    for (size_t k = 0; k < 4; ++k) {
      size_t at = 1 + g * 4 + k;
      uint32_t v = 0;
      if (at >= line.size() || !sixBits(line[at], &v))
        good = false;
      word = (word << 6) | v;
    }
    for (int shift = 16; shift >= 0 && out->size() < count; shift -= 8)
      out->push_back(static_cast<uint8_t>(word >> shift));
  }
  return good;
}

std::string uuEncodeLine(const uint8_t* data, size_t count) {
  std::string line(1, uuChar(static_cast<uint32_t>(count)));
  for (size_t i = 0; i < count; i += 3) {
    uint32_t word = static_cast<uint32_t>(data[i]) << 16;
    if (i + 1 < count)
      word |= static_cast<uint32_t>(data[i + 1]) << 8;
    if (i + 2 < count)
      word |= data[i + 2];
    for (int shift = 18; shift >= 0; shift -= 6)
      line += uuChar((word >> shift) & 0x3F);
  }
  return line;
}
