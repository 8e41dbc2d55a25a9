// Reading and writing attribute files. Line parsing (parseLine, parse) does
// no I/O so that it can be fuzzed; read and write wrap it with aFile_*.
#include "AttributeFile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "UpdaterDisplay.h"
#include "aFile.h"

namespace {

bool isBlank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

AttributeFile::AttributeFile(const char* path) {
  if (path) read(path);
}

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

// Splits text as aFile_ReadLine would with a LINE_MAX buffer: a line ends
// after its line feed; LINE_MAX - 1 bytes without one end the text.
size_t AttributeFile::parse(const char* text, size_t size) {
  size_t stored = 0, position = 0;
  while (position < size) {
    size_t window = size - position;
    if (window > LINE_MAX - 1) window = LINE_MAX - 1;
    const void* lf = std::memchr(text + position, '\n', window);
    if (!lf && window == LINE_MAX - 1) break;
    size_t length = lf ? size_t(static_cast<const char*>(lf) - (text + position)) + 1 : window;
    if (parseInto(text + position, length)) ++stored;
    position += length;
  }
  return stored;
}

aErr AttributeFile::read(const std::string& path) {
  aFileRef file = aFile_Open(path.c_str(), aFileModeRead);
  if (!file) {
    debugPrint(DEBUG_Attributes, "Attibutes: Error - cannot open attributes file: '%s' (%d)\n",
               path.c_str(), errno);
    set(ATTR_CREATED_TIME, localTimeText());
    return write(path.c_str());
  }
  fileName_ = path;
  dirty_ = false;
  char line[LINE_MAX];
  size_t length = 0;
  while (aFile_ReadLine(file, line, sizeof line, &length) == aErrNone) parseInto(line, length);
  aFile_Close(&file);
  return aErrNone;
}

aErr AttributeFile::write(const char* path) {
  if (path) {
    fileName_ = path;
  } else if (fileName_.empty()) {
    fileName_ = ".settings";
    debugPrint(DEBUG_Attributes, "Attibutes: no filename given for attributes, using default:[%s]\n",
               fileName_.c_str());
  }
  if (dirty_) set(ATTR_UPDATED_TIME, localTimeText());
  aFileRef file = aFile_Open(fileName_.c_str(), aFileModeWrite);
  if (!file) {
    debugPrint(DEBUG_Attributes, "Attibutes: Error - cannot open attributes file for writting: '%s' (%d)\n",
               fileName_.c_str(), errno);
    return aErrNotFound;
  }
  aErr err = aErrNone;
  for (const auto& item : items_) {
    err = aFile_Printf(file, "%s=%s\n", item.first.c_str(), item.second.c_str());
    if (err != aErrNone) break;
  }
  aFile_Close(&file);
  if (err != aErrNone) return aErrWrite;
  dirty_ = false;
  return aErrNone;
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
