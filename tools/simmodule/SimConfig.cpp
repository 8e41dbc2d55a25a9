// Settings of the simulated module: key=value pairs from options or a file.
#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "SimModule.h"

namespace simmodule {

namespace {

bool parseNumber(const std::string& text, uint64_t maximum, uint64_t* out) {
  if (text.empty() || text[0] == '-' || text[0] == '+')
    return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long value = strtoull(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || value > maximum)
    return false;
  *out = value;
  return true;
}

bool parseBool(const std::string& text, bool* out) {
  if (text == "1" || text == "true" || text == "yes" || text == "on") {
    *out = true;
    return true;
  }
  if (text == "0" || text == "false" || text == "no" || text == "off") {
    *out = false;
    return true;
  }
  return false;
}

std::string trim(const std::string& text) {
  size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos)
    return std::string();
  size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

// Four comma-separated 32-bit numbers; words is changed only when all parse.
bool parseIdentifier(const std::string& text, uint32_t words[4]) {
  uint32_t parsed[4];
  size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    const size_t comma = text.find(',', start);
    if ((i < 3) != (comma != std::string::npos))
      return false;
    uint64_t value = 0;
    if (!parseNumber(trim(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start)),
                     0xFFFFFFFFu, &value))
      return false;
    parsed[i] = static_cast<uint32_t>(value);
    start = comma + 1;
  }
  for (int i = 0; i < 4; ++i)
    words[i] = parsed[i];
  return true;
}

}  // namespace

bool parseFirmwareVersion(const std::string& text, uint32_t* packed) {
  size_t dot = text.find('.');
  uint64_t value = 0;
  if (dot == std::string::npos) {
    if (!parseNumber(text, 0xFFFFFFFFu, &value))
      return false;
    *packed = static_cast<uint32_t>(value);
    return true;
  }
  size_t dot2 = text.find('.', dot + 1);
  uint64_t major = 0, minor = 0, patch = 0;
  if (dot2 == std::string::npos || !parseNumber(text.substr(0, dot), 15, &major) ||
      !parseNumber(text.substr(dot + 1, dot2 - dot - 1), 15, &minor) ||
      !parseNumber(text.substr(dot2 + 1), 0xFFFFFF, &patch))
    return false;
  *packed = static_cast<uint32_t>(major << 28 | minor << 24 | patch);
  return true;
}

bool applySetting(const std::string& key, const std::string& value, ModuleConfig* module, EndpointConfig* endpoint,
                  std::string* error) {
  uint64_t number = 0;
  bool ok = true;
  if (key == "serial") {
    ok = parseNumber(value, 0xFFFFFFFFu, &number);
    if (ok)
      module->serialNumber = static_cast<uint32_t>(number);
  } else if (key == "model") {
    ok = parseNumber(value, 0xFF, &number);
    if (ok)
      module->model = static_cast<uint8_t>(number);
  } else if (key == "address") {
    ok = parseNumber(value, 0xFE, &number) && number != 0 && number % 2 == 0;
    if (ok)
      module->address = static_cast<uint8_t>(number);
  } else if (key == "firmware") {
    ok = parseFirmwareVersion(value, &module->firmwareVersion);
  } else if (key == "build") {
    ok = parseNumber(value, 0xFFFFFFFFu, &number);
    if (ok)
      module->build = static_cast<uint32_t>(number);
  } else if (key == "identifier") {
    ok = parseIdentifier(value, module->identifier);
  } else if (key == "heartbeat") {
    ok = parseNumber(value, 0xFFFFFFFFu, &number);
    if (ok)
      endpoint->heartbeatMs = static_cast<uint32_t>(number);
  } else if (key == "heartbeat-before-start") {
    ok = parseBool(value, &endpoint->heartbeatBeforeStart);
  } else if (key == "resync-byte") {
    ok = parseNumber(value, 0xFE, &number) && number % 2 == 0;
    if (ok)
      endpoint->resyncByte = static_cast<uint8_t>(number);
  } else if (key == "garbage") {
    ok = parseNumber(value, 0xFFFFFFFFu, &number);
    if (ok)
      endpoint->garbageEveryMs = static_cast<uint32_t>(number);
  } else if (key == "silent") {
    ok = parseBool(value, &endpoint->silent);
  } else {
    if (error)
      *error = "unknown setting \"" + key + "\"";
    return false;
  }
  if (!ok && error)
    *error = "bad value \"" + value + "\" for " + key;
  return ok;
}

bool loadConfigFile(const std::string& path, ModuleConfig* module, EndpointConfig* endpoint, std::string* error) {
  std::ifstream in(path);
  if (!in) {
    if (error)
      *error = "cannot read " + path;
    return false;
  }
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    size_t hash = line.find('#');
    if (hash != std::string::npos)
      line.erase(hash);
    line = trim(line);
    if (line.empty())
      continue;
    size_t equals = line.find('=');
    std::string problem = "expected key=value";
    if (equals != std::string::npos &&
        applySetting(trim(line.substr(0, equals)), trim(line.substr(equals + 1)), module, endpoint, &problem))
      continue;
    if (error)
      *error = path + ":" + std::to_string(number) + ": " + problem;
    return false;
  }
  return true;
}

}  // namespace simmodule
