// Build numbers as text; see BuildNumber.h.
#include "BuildNumber.h"

#include "UpdaterDisplay.h"

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Digits from text[i] on, up to the first other character; *end receives the
// index after the last digit read. False when there is no digit at text[i] or
// the number passes 32 bits.
bool readDigits(const std::string& text, size_t i, uint32_t* value, size_t* end) {
  if (i >= text.size() || !isDigit(text[i])) return false;
  uint64_t number = 0;
  for (; i < text.size() && isDigit(text[i]); ++i) {
    number = number * 10 + static_cast<uint64_t>(text[i] - '0');
    if (number > 0xFFFFFFFFull) return false;
  }
  *value = static_cast<uint32_t>(number);
  *end = i;
  return true;
}

}  // namespace

bool parseBuildNumber(const std::string& text, uint32_t* value) {
  uint32_t number = 0;
  size_t end = 0;
  if (!readDigits(text, 0, &number, &end) || end != text.size()) return false;
  *value = number;
  return true;
}

bool readLeadingBuildNumber(const std::string& text, uint32_t* value) {
  size_t i = 0;
  while (i < text.size() && isBlank(text[i])) ++i;
  size_t end = 0;
  return readDigits(text, i, value, &end);
}

uint32_t buildNumberOrZero(const std::string& text) {
  uint32_t value = 0;
  if (readLeadingBuildNumber(text, &value)) return value;
  debugPrint(DEBUG_Updater, "Error: Could not convert %s to int.\n", text.c_str());
  return 0;
}

uint32_t buildOfFileName(const std::string& name) {
  uint32_t value = 0;
  return readLeadingBuildNumber(name, &value) ? value : 0;
}

bool isDecimalDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

std::string buildFileName(uint32_t build) { return std::to_string(build) + ".bird"; }
