// Fuzzes attribute-file parsing from memory, then reads items back.
#include <cstdint>
#include <string>

#include "AttributeFile.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

bool blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  AttributeFile attributes;
  size_t stored = attributes.parse(reinterpret_cast<const char*>(data), size);
  check(attributes.items().size() <= stored);
  for (const auto& item : attributes.items()) {
    const std::string& key = item.first;
    const std::string& value = item.second;
    check(!key.empty() && !blank(key.front()) && !blank(key.back()));
    check(key.find('=') == std::string::npos && key.find('\0') == std::string::npos);
    check(value.empty() || (!blank(value.front()) && !blank(value.back())));
    check(value.find('\n') == std::string::npos && value.find('\0') == std::string::npos);
    check(attributes.getString(key) == value);
    attributes.getInt(key, -1);
  }
  check(!attributes.dirty());
  check(attributes.getString("\x01missing", "x") == "x" || attributes.has("\x01missing"));
  attributes.getInt(ATTR_LATEST_DOWNLOAD, 0);
  attributes.set(ATTR_LATEST_TRANSFER, "12.bird");
  check(attributes.getInt(ATTR_LATEST_TRANSFER, 0) == 12);
  return 0;
}
