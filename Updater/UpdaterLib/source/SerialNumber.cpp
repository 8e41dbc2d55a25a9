// Serial numbers as hexadecimal text; see SerialNumber.h.
#include "SerialNumber.h"

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool hasHexPrefix(const std::string& text) {
  return text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

bool parseSerialNumber(const std::string& text, uint32_t* value) {
  if (text.empty()) return false;
  uint64_t number = 0;
  for (char c : text) {
    const int digit = hexDigitValue(c);
    if (digit < 0) return false;
    number = number * 16 + static_cast<uint64_t>(digit);
    if (number > 0xFFFFFFFFull) return false;
  }
  *value = static_cast<uint32_t>(number);
  return true;
}
