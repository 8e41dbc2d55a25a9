// Descriptors and standard control requests of a simulated USB module.
#include "UsbDescriptors.h"

#include <cstdio>

namespace simusb {

namespace {

constexpr uint8_t kGetStatus = 0x00;
constexpr uint8_t kGetDescriptor = 0x06;
constexpr uint8_t kSetConfiguration = 0x09;
constexpr uint8_t kSetInterface = 0x0B;
constexpr uint8_t kDescriptorDevice = 1;
constexpr uint8_t kDescriptorConfig = 2;
constexpr uint8_t kDescriptorString = 3;
constexpr uint8_t kStringManufacturer = 1;
constexpr uint8_t kStringProduct = 2;
constexpr uint8_t kStringSerial = 3;
constexpr uint16_t kLanguageEnglishUs = 0x0409;
constexpr uint8_t kDescriptorHid = 0x21;
constexpr uint8_t kDescriptorHidReport = 0x22;

void put16(Bytes& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value & 0xFF));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void endpoint(Bytes& out, uint8_t address, uint8_t attributes, uint16_t size, uint8_t interval) {
  out.insert(out.end(), {7, 5, address, attributes});
  put16(out, size);
  out.push_back(interval);
}

Bytes deviceDescriptor(const UsbIdentity& id) {
  Bytes out = {18, kDescriptorDevice};
  put16(out, 0x0200);
  out.insert(out.end(), {0, 0, 0, 64});
  put16(out, id.vendorId);
  put16(out, id.productId);
  put16(out, 0x0100);
  out.insert(out.end(), {kStringManufacturer, kStringProduct, static_cast<uint8_t>(id.serial.empty() ? 0 : kStringSerial), 1});
  return out;
}

Bytes hidConfigDescriptor(const UsbIdentity& id) {
  Bytes out = {9, kDescriptorConfig, 0, 0, 1, 1, 0, 0x80, 50};
  out.insert(out.end(), {9, 4, 0, 0, 1, 3, 0, 0, 0});
  const Bytes report = hidReportDescriptor();
  out.insert(out.end(), {9, kDescriptorHid, 0x10, 0x01, 0, 1, kDescriptorHidReport});
  put16(out, static_cast<uint16_t>(report.size()));
  endpoint(out, kBulkIn, 3, 1024, 1);
  (void)id;
  out[2] = static_cast<uint8_t>(out.size() & 0xFF);
  out[3] = static_cast<uint8_t>(out.size() >> 8);
  return out;
}

Bytes configDescriptor(const UsbIdentity& id) {
  if (id.hid) return hidConfigDescriptor(id);
  const uint8_t endpoints = id.interruptEndpoint ? 3 : 2;
  Bytes out = {9, kDescriptorConfig, 0, 0, 1, 1, 0, 0x80, 50};
  out.insert(out.end(), {9, 4, 0, 0, endpoints, id.interfaceClass, id.interfaceSubclass, id.interfaceProtocol, 0});
  endpoint(out, kBulkIn, 2, id.bulkPacketSize, 0);
  endpoint(out, kBulkOut, 2, id.bulkPacketSize, 0);
  if (id.interruptEndpoint) endpoint(out, kInterruptIn, 3, 8, 10);
  out[2] = static_cast<uint8_t>(out.size() & 0xFF);
  out[3] = static_cast<uint8_t>(out.size() >> 8);
  return out;
}

// A string descriptor holds UTF-16LE; our strings are ASCII.
Bytes stringDescriptor(const std::string& text) {
  const size_t chars = text.size() > 126 ? 126 : text.size();
  Bytes out = {static_cast<uint8_t>(2 + 2 * chars), kDescriptorString};
  for (size_t i = 0; i < chars; ++i) put16(out, static_cast<uint8_t>(text[i]));
  return out;
}

bool stringAnswer(const UsbIdentity& id, uint8_t index, Bytes* data) {
  switch (index) {
    case 0:
      *data = {4, kDescriptorString};
      put16(*data, kLanguageEnglishUs);
      return true;
    case kStringManufacturer: *data = stringDescriptor(id.manufacturer); return true;
    case kStringProduct: *data = stringDescriptor(id.product); return true;
    case kStringSerial:
      if (id.serial.empty()) return false;
      *data = stringDescriptor(id.serial);
      return true;
    default: return false;
  }
}

bool descriptorAnswer(const UsbIdentity& id, uint16_t value, Bytes* data) {
  const uint8_t type = static_cast<uint8_t>(value >> 8);
  const uint8_t index = static_cast<uint8_t>(value & 0xFF);
  if (type == kDescriptorDevice) *data = deviceDescriptor(id);
  else if (type == kDescriptorConfig && index == 0) *data = configDescriptor(id);
  else if (type == kDescriptorString) return stringAnswer(id, index, data);
  else if (type == kDescriptorHidReport && id.hid) *data = hidReportDescriptor();
  else return false;
  return true;
}

}  // namespace

UsbIdentity bootLoaderIdentity() {
  UsbIdentity identity;
  identity.vendorId = 0x1FC9;
  identity.productId = 0x0130;
  identity.serial = "";
  identity.manufacturer = "Boot loader";
  identity.product = "Serial download";
  identity.hid = true;
  return identity;
}

Bytes hidReportDescriptor() {
  Bytes out = {0x06, 0x00, 0xFF,  // usage page (vendor)
               0x09, 0x01,        // usage
               0xA1, 0x01};       // collection (application)
  // Report ID, usage, byte-wide items, count (bytes after the ID), direction.
  const struct {
    uint8_t id;
    uint16_t count;
    uint8_t main;  // 0x91 output, 0x81 input
  } reports[] = {{1, 16, 0x91}, {2, 1024, 0x91}, {3, 4, 0x81}, {4, 64, 0x81}};
  for (const auto& r : reports) {
    out.insert(out.end(), {0x85, r.id, 0x09, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x96});
    put16(out, r.count);
    out.insert(out.end(), {r.main, 0x02});
  }
  out.push_back(0xC0);  // end collection
  return out;
}

UsbIdentity moduleIdentity(uint32_t serialNumber, uint8_t model) {
  UsbIdentity identity;
  identity.productId = model;
  char text[9];
  snprintf(text, sizeof text, "%08X", serialNumber);
  identity.serial = text;
  return identity;
}

Bytes deviceDescriptors(const UsbIdentity& identity) {
  Bytes out = deviceDescriptor(identity);
  const Bytes config = configDescriptor(identity);
  out.insert(out.end(), config.begin(), config.end());
  return out;
}

SetupPacket parseSetup(const uint8_t* bytes) {
  SetupPacket setup;
  setup.requestType = bytes[0];
  setup.request = bytes[1];
  setup.value = static_cast<uint16_t>(bytes[2] | bytes[3] << 8);
  setup.index = static_cast<uint16_t>(bytes[4] | bytes[5] << 8);
  setup.length = static_cast<uint16_t>(bytes[6] | bytes[7] << 8);
  return setup;
}

bool answerControl(const UsbIdentity& identity, const SetupPacket& setup, Bytes* data) {
  data->clear();
  const bool standard = (setup.requestType & 0x60) == 0;
  const bool in = (setup.requestType & 0x80) != 0;
  if (!standard) return false;
  bool ok = false;
  if (in && setup.request == kGetDescriptor) {
    ok = descriptorAnswer(identity, setup.value, data);
  } else if (in && setup.request == kGetStatus) {
    *data = {0, 0};
    ok = true;
  } else if (!in && (setup.request == kSetConfiguration || setup.request == kSetInterface)) {
    ok = setup.value <= 1;
  }
  if (data->size() > setup.length) data->resize(setup.length);
  return ok;
}

std::string deviceNode(unsigned devnum) {
  char text[32];
  snprintf(text, sizeof text, "/dev/bus/usb/001/%03u", devnum % 1000);
  return text;
}

std::string sysfsPath(unsigned port) {
  return "/sys/devices/usb1/1-" + std::to_string(port);
}

std::string sysfsRecord(const UsbIdentity& identity, unsigned port, unsigned devnum) {
  std::string hex;
  char pair[3];
  for (uint8_t byte : deviceDescriptors(identity)) {
    snprintf(pair, sizeof pair, "%02x", byte);
    hex += pair;
  }
  const std::string node = deviceNode(devnum);
  const std::string num = std::to_string(devnum);
  std::string r;
  r += "P: " + sysfsPath(port).substr(4) + "\n";
  r += "N: " + node.substr(5) + "\n";
  r += "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n";
  r += "E: DEVNAME=" + node + "\n";
  r += "E: BUSNUM=001\nE: DEVNUM=" + node.substr(node.size() - 3) + "\n";
  r += "A: busnum=1\\n\nA: devnum=" + num + "\\n\n";
  r += "A: speed=480\\n\nA: bConfigurationValue=1\\n\nA: bNumConfigurations=1\\n\n";
  r += "A: serial=" + identity.serial + "\\n\n";
  r += "A: dev=189:" + std::to_string(devnum) + "\\n\n";
  r += "H: descriptors=" + hex + "\n";
  return r;
}

}  // namespace simusb
