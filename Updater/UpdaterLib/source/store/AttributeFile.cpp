// Attribute items and the line rules of attribute files. No I/O here, so
// parsing can be fuzzed; AttributeFileIO.cpp reads and writes the files.
#include "AttributeFile.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

bool isBlank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

bool AttributeFile::parseLine(const char* line, size_t length, std::string& key, std::string& value) {
  // Text after a NUL byte cannot be written back; the line ends there.
  const void* nul = std::memchr(line, '\0', length);
  if (nul) length = size_t(static_cast<const char*>(nul) - line);
  if (length < 3 || line[0] == '#') return false;
  size_t begin = 0;
  while (begin < length && isBlank(line[begin])) ++begin;
  size_t equals = begin;
  while (equals < length && line[equals] != '=') ++equals;
  size_t keyEnd = equals;
  while (keyEnd > begin && isBlank(line[keyEnd - 1])) --keyEnd;
  if (keyEnd == begin) return false;
  size_t valueBegin = equals < length ? equals + 1 : length;
  while (valueBegin < length && isBlank(line[valueBegin])) ++valueBegin;
  size_t valueEnd = length;
  while (valueEnd > valueBegin && isBlank(line[valueEnd - 1])) --valueEnd;
  key.assign(line + begin, keyEnd - begin);
  value.assign(line + valueBegin, valueEnd - valueBegin);
  return true;
}

bool AttributeFile::parseInto(const char* line, size_t length) {
  std::string key, value;
  if (!parseLine(line, length, key, value)) return false;
  items_[key] = value;
  return true;
}

// Splits text as aFile_ReadLine would with a LINE_BUFFER_SIZE buffer: a line ends
// after its line feed. A line too long for the buffer is skipped up to its
// line feed, and parsing goes on with the next line.
size_t AttributeFile::parse(const char* text, size_t size) {
  size_t stored = 0, position = 0;
  while (position < size) {
    size_t window = size - position;
    if (window > LINE_BUFFER_SIZE - 1) window = LINE_BUFFER_SIZE - 1;
    const char* line = text + position;
    const void* lf = std::memchr(line, '\n', window);
    if (!lf && window == LINE_BUFFER_SIZE - 1) {
      const void* next = std::memchr(line, '\n', size - position);
      position = next ? size_t(static_cast<const char*>(next) - text) + 1 : size;
      continue;
    }
    size_t length = lf ? size_t(static_cast<const char*>(lf) - line) + 1 : window;
    if (parseInto(line, length)) ++stored;
    position += length;
  }
  return stored;
}

bool AttributeFile::set(const std::string& key, const std::string& value) {
  std::string& stored = items_[key];
  if (stored != value) {
    stored = value;
    dirty_ = true;
  }
  return true;
}

bool AttributeFile::set(const std::string& key, const char* value) {
  return set(key, std::string(value ? value : ""));
}

int AttributeFile::getInt(const std::string& key, int fallback) {
  const std::string& value = items_[key];
  if (value.empty()) return fallback;
  long number = std::strtol(value.c_str(), nullptr, 10);
  if (number > INT_MAX) return INT_MAX;
  if (number < INT_MIN) return INT_MIN;
  return int(number);
}

std::string AttributeFile::getString(const std::string& key, const char* fallback) const {
  auto found = items_.find(key);
  if (found != items_.end()) return found->second;
  return fallback ? fallback : "";
}
