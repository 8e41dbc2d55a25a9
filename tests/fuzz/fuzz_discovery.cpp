// Fuzzes what discovery takes from the outside: TCP/IP answers (any
// datagram that reaches the answer port) and the serial-number text of USB
// devices, entered into the walk's module table.
#include <cstdint>
#include <cstring>
#include <string>

#include "aDiscovery.h"
#include "internal/aDiscoveryInternal.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

void fuzzAnswer(const uint8_t* data, size_t size) {
  uint32_t from = 0;
  if (size >= 4) std::memcpy(&from, data, 4);
  linkSpec spec;
  std::memset(&spec, 0xA5, sizeof spec);
  if (!aDiscovery_DecodeAnswer(size >= 4 ? data + 4 : data, size >= 4 ? size - 4 : size, from, &spec))
    return;
  check(spec.type == LINKTYPE_TCPIP);
  check(spec.module != 0 && (spec.module & 1) == 0 && spec.module <= 0xFF);
  check(spec.router == spec.module && spec.routerSerialNumber == spec.serialNumber);
  check(spec.ipPort <= 0xFFFF && spec.model <= 0xFF && spec.ipAddress == from && from != 0);
}

// The input as a list of devices: vendor (2), product (2), flag (1), serial
// text up to a NUL.
void fuzzUsbWalk(const uint8_t* data, size_t size) {
  aUSBModuleTable table;
  size_t at = 0;
  while (at + 5 <= size) {
    platform::UsbDeviceInfo device;
    std::memset(&device, 0, sizeof device);
    device.vendorId = static_cast<uint16_t>(data[at] | data[at + 1] << 8);
    device.productId = static_cast<uint16_t>(data[at + 2] | data[at + 3] << 8);
    device.hasLinkInterface = data[at + 4] & 1;
    at += 5;
    size_t n = 0;
    while (at < size && data[at] != 0 && n < sizeof device.serial - 1) device.serial[n++] = static_cast<char>(data[at++]);
    device.serial[n] = 0;
    ++at;
    uint32_t serial = 0;
    const bool parsed = aDiscovery_ParseUSBSerial(device.serial, &serial);
    check(!parsed || (n >= 1 && n <= 8));
    const bool entered = aDiscovery_AddUSBDevice(&table, &device);
    check(!entered || (parsed && device.vendorId == aDISCOVERY_USB_VENDOR && device.hasLinkInterface));
    check(table.count <= aDISCOVERY_USB_TABLE_SIZE);
  }
  for (size_t i = 0; i < table.count; ++i)
    for (size_t j = i + 1; j < table.count; ++j) check(table.entries[i].serialNumber != table.entries[j].serialNumber);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzAnswer(data, size);
  fuzzUsbWalk(data, size);
  const std::string text(reinterpret_cast<const char*>(data), size);
  uint32_t serial = 0;
  aDiscovery_ParseUSBSerial(text.c_str(), &serial);
  return 0;
}
