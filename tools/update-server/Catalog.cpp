// Catalog text: one directive per line, blank lines and "#" comments ignored.
//   device SERIAL            opens the block of one device
//   firmware NAME            its firmware identifier (names <root>/NAME/)
//   current BUILD            the build QueryBuild answers with
//   build BUILD [TEXT]       a build offered in the list, with its description
//   fingerprint W0 W1 W2 W3  processor identifier words, hexadecimal
#include "Catalog.h"

#include <cstdio>
#include <sstream>

namespace {

std::string trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  const size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

bool fail(std::string* error, int lineNumber, const std::string& what) {
  if (error) *error = "line " + std::to_string(lineNumber) + ": " + what;
  return false;
}

// One directive of the current device block.
bool applyDirective(const std::string& keyword, const std::string& rest, CatalogDevice* device,
                    std::string* problem) {
  std::istringstream words(rest);
  if (keyword == "firmware") {
    if (!isSafeName(rest)) return *problem = "bad firmware name", false;
    device->firmware = rest;
  } else if (keyword == "current") {
    if (!parseDecimal32(rest, &device->current)) return *problem = "bad build number", false;
  } else if (keyword == "build") {
    std::string number;
    words >> number;
    uint32_t build = 0;
    if (!parseDecimal32(number, &build)) return *problem = "bad build number", false;
    const std::string description = trim(rest.substr(number.size()));
    if (description.find(';') != std::string::npos) {
      return *problem = "a description may not hold ';'", false;
    }
    device->builds.emplace_back(build, description);
  } else if (keyword == "fingerprint") {
    Fingerprint fp{};
    std::string word, extra;
    for (uint32_t& value : fp) {
      if (!(words >> word) || !parseHex32(word, &value)) {
        return *problem = "a fingerprint is four hexadecimal words", false;
      }
    }
    if (words >> extra) return *problem = "a fingerprint is four hexadecimal words", false;
    device->fingerprints.push_back(fp);
  } else {
    return *problem = "unknown directive '" + keyword + "'", false;
  }
  return true;
}

}  // namespace

bool parseHex32(const std::string& text, uint32_t* value) {
  if (text.empty() || text.size() > 8) return false;
  uint32_t v = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return false;
    v = v << 4 | static_cast<uint32_t>(digit);
  }
  *value = v;
  return true;
}

bool parseDecimal32(const std::string& text, uint32_t* value) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > 0xFFFFFFFFull) return false;
  *value = static_cast<uint32_t>(v);
  return true;
}

bool isSafeName(const std::string& text) {
  if (text.empty() || text == "." || text == "..") return false;
  for (char c : text) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

const CatalogDevice* Catalog::find(uint32_t serial) const {
  const auto it = devices.find(serial);
  return it == devices.end() ? nullptr : &it->second;
}

const CatalogDevice* Catalog::findByFingerprint(const Fingerprint& fingerprint) const {
  for (const auto& entry : devices) {
    for (const Fingerprint& fp : entry.second.fingerprints) {
      if (fp == fingerprint) return &entry.second;
    }
  }
  return nullptr;
}

bool parseCatalog(const std::string& text, Catalog* catalog, std::string* error) {
  catalog->devices.clear();
  std::istringstream lines(text);
  std::string line;
  CatalogDevice* device = nullptr;
  for (int number = 1; std::getline(lines, line); ++number) {
    line = trim(line);
    if (line.empty() || line[0] == '#') continue;
    const size_t split = line.find_first_of(" \t");
    const std::string keyword = line.substr(0, split);
    const std::string rest = split == std::string::npos ? "" : trim(line.substr(split));
    if (keyword == "device") {
      uint32_t serial = 0;
      if (!parseHex32(rest, &serial) || serial == 0) return fail(error, number, "bad serial number");
      if (catalog->devices.count(serial)) return fail(error, number, "device listed twice");
      device = &catalog->devices[serial];
      device->serial = serial;
      continue;
    }
    if (!device) return fail(error, number, "'" + keyword + "' before the first 'device'");
    std::string problem;
    if (!applyDirective(keyword, rest, device, &problem)) return fail(error, number, problem);
  }
  for (const auto& entry : catalog->devices) {
    if (entry.second.firmware.empty()) {
      char serial[16];
      snprintf(serial, sizeof serial, "%08X", entry.first);
      if (error) *error = std::string("device ") + serial + " has no firmware line";
      return false;
    }
  }
  return true;
}
