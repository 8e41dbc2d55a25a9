// USB instance identifiers, serial-number text and driver names (no system
// calls); the one home of the serial-number match for every USB backend.
#include "platform/usb_identity.h"

#include <cstdio>
#include <cstring>

namespace platform {

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool startsWithNoCase(const char* text, const char* prefix) {
  for (; *prefix; ++text, ++prefix) {
    char c = *text;
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != *prefix) return false;
  }
  return true;
}

// Exactly four hex digits after a "VID_" or "PID_" tag at *text; advances.
bool readTagged(const char** text, const char* tag, uint16_t* value) {
  if (!startsWithNoCase(*text, tag)) return false;
  const char* p = *text + std::strlen(tag);
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    int d = hexDigit(p[i]);
    if (d < 0) return false;
    v = v * 16 + static_cast<uint32_t>(d);
  }
  *value = static_cast<uint16_t>(v);
  *text = p + 4;
  return true;
}

}  // namespace

bool usbParseInstanceId(const char* id, UsbInstanceId* out) {
  if (!id || !out) return false;
  std::memset(out, 0, sizeof *out);
  const char* p = id;
  if (!startsWithNoCase(p, "USB\\")) return false;
  p += 4;
  if (!readTagged(&p, "VID_", &out->vendorId) || *p++ != '&' || !readTagged(&p, "PID_", &out->productId))
    return false;
  // Further hardware-identifier parts ("&MI_00", "&REV_0100") up to the next backslash.
  const char* end = std::strchr(p, '\\');
  if (!end) return false;
  for (const char* q = p; q < end; ++q)
    if (*q == '&' && startsWithNoCase(q + 1, "MI_")) out->isInterface = true;
  const char* serial = end + 1;
  size_t length = std::strlen(serial);
  if (length == 0 || length >= sizeof out->serial || std::strchr(serial, '\\')) return false;
  std::memcpy(out->serial, serial, length + 1);
  return true;
}

bool usbParseSerial(const char* text, uint32_t* serialNumber) {
  if (!text || !serialNumber) return false;
  size_t length = std::strlen(text);
  if (length == 0 || length > 8) return false;
  uint32_t value = 0;
  for (size_t i = 0; i < length; ++i) {
    int d = hexDigit(text[i]);
    if (d < 0) return false;
    value = value * 16 + static_cast<uint32_t>(d);
  }
  *serialNumber = value;
  return true;
}

bool usbSerialMatches(const char* text, uint32_t serialNumber) {
  uint32_t value = 0;
  return usbParseSerial(text, &value) && value == serialNumber;
}

bool usbKernelDriverName(uint32_t serialNumber, char* buffer, size_t size) {
  if (!buffer || size == 0) return false;
  int n = std::snprintf(buffer, size, "\\\\.\\kelvarion.%08X", static_cast<unsigned>(serialNumber));
  return n > 0 && static_cast<size_t>(n) < size;
}

}  // namespace platform
