// Standard base64 (RFC 4648) decoding of downloaded builds.
#include <cstdlib>

#include "HttpTransfer.h"

namespace {

// 6-bit value per character; -1 outside the alphabet (the padding "=" too,
// which is handled before the table is consulted).
struct SextetTable {
  signed char value[256];
  SextetTable() {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (signed char& v : value) v = -1;
    for (int i = 0; i < 64; ++i) value[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
  }
};

int sextet(unsigned char c) {
  static const SextetTable table;
  return table.value[c];
}

// Padding may only close the text: "x===" never, "xx=y" never.
bool paddingIsValid(const char* text, size_t length, size_t padding) {
  for (size_t i = 0; i < length - padding; ++i) {
    if (text[i] == '=') return false;
  }
  return padding <= 2;
}

// The decoded size of a base64 text, or false when its length or padding is
// wrong.
bool decodedSize(const char* text, size_t length, size_t* decoded) {
  if (length % 4 != 0 || (length > 0 && !text)) return false;
  size_t padding = 0;
  if (length > 0 && text[length - 1] == '=') {
    padding = 1;
    if (text[length - 2] == '=') padding = 2;
  }
  if (length > 0 && !paddingIsValid(text, length, padding)) return false;
  *decoded = length / 4 * 3 - padding;
  return true;
}

// Decodes the groups into out, which may be text itself: each group is read
// whole before its three bytes are written, always behind it.
bool decodeGroups(const char* text, size_t length, size_t decoded, unsigned char* out) {
  size_t pos = 0;
  for (size_t group = 0; group < length; group += 4) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) {
      const unsigned char c = static_cast<unsigned char>(text[group + i]);
      const int bits = (c == '=') ? 0 : sextet(c);
      if (bits < 0) return false;
      v = (v << 6) | static_cast<uint32_t>(bits);
    }
    const unsigned char bytes[3] = {static_cast<unsigned char>(v >> 16),
                                    static_cast<unsigned char>(v >> 8),
                                    static_cast<unsigned char>(v)};
    for (size_t i = 0; i < 3 && pos < decoded; ++i) out[pos++] = bytes[i];
  }
  return true;
}

}  // namespace

unsigned char* base64Decode(const char* text, size_t length, size_t* outLength) {
  if (outLength) *outLength = 0;
  size_t decoded = 0;
  if (!decodedSize(text, length, &decoded)) return nullptr;
  unsigned char* out = static_cast<unsigned char*>(malloc(decoded + 1));
  if (!out) return nullptr;
  out[decoded] = 0;
  if (!decodeGroups(text, length, decoded, out)) {
    free(out);
    return nullptr;
  }
  if (outLength) *outLength = decoded;
  return out;
}

bool base64DecodeInPlace(std::string& text) {
  size_t decoded = 0;
  if (!decodedSize(text.data(), text.size(), &decoded)) return false;
  if (!decodeGroups(text.data(), text.size(), decoded, reinterpret_cast<unsigned char*>(&text[0]))) return false;
  text.resize(decoded);
  return true;
}
