// The serial download protocol over USB HID.
#include "HID_SDPLoader.h"

#include "SDPCommands.h"
#include "UpdaterDisplay.h"

HID_SDPLoader::HID_SDPLoader(uint16_t vendorId, uint16_t productId)
    : hid(&sdp::hidBackend()), vendor(vendorId), product(productId) {}

HID_SDPLoader::~HID_SDPLoader() {
  if (handle)
    hid->close(handle);
  if (initialised)
    hid->exit();
}

bool HID_SDPLoader::open() {
  if (!initialised)
    initialised = hid->init() == 0;
  if (!handle)
    handle = hid->open(vendor, product);
  debugPrint(DEBUG_iMXSerial, "handle: %p\n", handle);
  return handle != nullptr;
}

std::ptrdiff_t HID_SDPLoader::write(const std::vector<uint8_t>& bytes) {
  if (!handle || bytes.empty())
    return -1;
  return hid->write(handle, bytes.data(), bytes.size());
}

std::ptrdiff_t HID_SDPLoader::read(std::vector<uint8_t>& buffer, uint32_t timeoutMs) {
  if (!handle)
    return 0;
  // A device that never stops sending ends the reply after this many reports.
  const int kMaxReports = 64;
  std::ptrdiff_t total = 0;
  for (int reports = 0; reports < kMaxReports; ++reports) {
    uint8_t report[sdp::kHidReportSize] = {};
    int got = hid->readTimeout(handle, report, sizeof report, static_cast<int>(timeoutMs));
    if (got <= 0)
      break;
    size_t count = static_cast<size_t>(got);
    if (count > sizeof report)
      count = sizeof report;
    if (report[0] == sdp::kHabReportId)
      count = 5;  // the HAB-mode report counts as its ID and 4 bytes
    buffer.insert(buffer.end(), report, report + count);
    total += static_cast<std::ptrdiff_t>(count);
  }
  return total;
}

bool HID_SDPLoader::responseWord(const std::vector<uint8_t>& response, size_t offset, uint32_t& word) {
  return sdp::hidResponseWord(response, offset, word);
}
