// key=value settings of the upgrade family.
#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "SimUpgrade.h"

namespace simmodule {
namespace {

bool number(const std::string& text, uint64_t maximum, uint64_t* out) {
  if (text.empty() || text[0] == '-' || text[0] == '+') return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long value = strtoull(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || value > maximum) return false;
  *out = value;
  return true;
}

// -1 or a count.
bool index(const std::string& text, int* out) {
  if (text == "-1" || text == "off") {
    *out = -1;
    return true;
  }
  uint64_t value = 0;
  if (!number(text, 0x7FFFFFFF, &value)) return false;
  *out = static_cast<int>(value);
  return true;
}

bool flag(const std::string& text, bool* out) {
  if (text == "1" || text == "on" || text == "yes" || text == "true") return *out = true, true;
  if (text == "0" || text == "off" || text == "no" || text == "false") return *out = false, true;
  return false;
}

bool optionMask(const std::string& text, uint32_t* out) {
  uint32_t mask = 0;
  std::stringstream items(text);
  std::string item;
  while (std::getline(items, item, ',')) {
    uint64_t option = 0;
    if (!number(item, 7, &option)) return false;
    mask |= 1u << option;
  }
  *out = mask;
  return true;
}

bool version(const std::string& text, uint32_t* out) { return parseFirmwareVersion(text, out); }

}  // namespace

bool applyUpgradeSetting(const std::string& key, const std::string& value, UpgradeSettings* settings,
                         bool* known, std::string* error) {
  LoaderFaults& f = settings->faults;
  uint64_t n = 0;
  bool ok = true;
  *known = true;
  if (key == "loader-block-size") {
    ok = number(value, 0xFFFF, &n);
    f.blockSize = static_cast<uint16_t>(n);
  } else if (key == "prepare-status") {
    ok = number(value, 0xFF, &n);
    f.prepareStatus = static_cast<uint8_t>(n);
  } else if (key == "prepare-error-at") {
    ok = index(value, &f.prepareErrorAt);
  } else if (key == "wrong-count-at") {
    ok = index(value, &f.wrongCountAt);
  } else if (key == "wrong-count-repeats") {
    ok = index(value, &f.wrongCountRepeats);
  } else if (key == "sum-off-at") {
    ok = index(value, &f.sumOffAt);
  } else if (key == "write-status") {
    ok = number(value, 0xFF, &n);
    f.writeStatus = static_cast<uint8_t>(n);
  } else if (key == "silent-upgrade") {
    ok = optionMask(value, &f.silentOptions);
  } else if (key == "drop-at-data") {
    ok = index(value, &f.dropAtData);
  } else if (key == "drop-on-load") {
    ok = flag(value, &f.dropOnLoad);
  } else if (key == "ignore-reboot") {
    ok = flag(value, &f.ignoreReboot);
  } else if (key == "reboot-delay") {
    ok = number(value, 600000, &n);
    f.rebootDelayMs = static_cast<uint32_t>(n);
  } else if (key == "new-firmware") {
    ok = version(value, &settings->newFirmwareVersion);
  } else if (key == "new-build") {
    ok = number(value, 0xFFFFFFFF, &n);
    settings->newBuild = static_cast<uint32_t>(n);
  } else if (key == "flash-out") {
    settings->flashOut = value;
  } else if (key == "reported-serial") {
    ok = number(value, 0xFFFFFFFF, &n);
    settings->reportedSerial = static_cast<uint32_t>(n);
  } else {
    *known = false;
    return false;
  }
  if (!ok && error) *error = "bad value \"" + value + "\" for " + key;
  return ok;
}

}  // namespace simmodule
