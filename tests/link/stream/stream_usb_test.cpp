// The USB transport's logic against a fake table of USB operations: finding
// the module, a module held by another process, reads bounded in time and
// buffered per transfer, writes, and releasing the device.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <vector>

#include "aDiscovery.h"
#include "aStream.h"
#include "platform/usb.h"

namespace {

using platform::UsbResult;

// What the fake bus holds and records. One instance at a time (the table is
// made of plain functions).
struct FakeBus {
  uint32_t presentSerial = 0x0012ABCD;
  bool heldElsewhere = false;
  bool denied = false;  // the system refuses this user
  platform::UsbEndpoints endpoints = {0x81, 64, 0x02, 64, 0x83, 8};
  struct Transfer {
    UsbResult result;
    std::vector<uint8_t> bytes;
  };
  std::deque<Transfer> transfers;  // what successive IN transfers bring
  std::vector<uint32_t> readTimeouts;
  std::vector<size_t> readSizes;
  std::vector<uint8_t> written;
  UsbResult writeResult = UsbResult::Ok;
  size_t writeShort = 0;  // bytes the next write leaves unsent
  int opened = 0;
  int closed = 0;
};

FakeBus* bus = nullptr;
platform::UsbDevice* const kDevice = reinterpret_cast<platform::UsbDevice*>(0x1234);

bool fakeEnumerate(uint16_t vendorId, platform::UsbVisit visit, void* ref) {
  platform::UsbDeviceInfo devices[] = {
      {0x3A7C, 0x0013, "0012ABCD", true, false},   // a module (model 19)
      {0x3A7C, 0x0013, "00C0FFEE", false, false},  // the maker's, without the link interface
      {0x1234, 0x0013, "00000001", true, false},   // another vendor
  };
  for (const platform::UsbDeviceInfo& d : devices)
    if ((vendorId == 0 || d.vendorId == vendorId) && !visit(&d, ref))
      break;
  return true;
}

UsbResult fakeOpen(uint32_t serialNumber, platform::UsbDevice** device, platform::UsbEndpoints* endpoints) {
  if (serialNumber != bus->presentSerial)
    return UsbResult::NotFound;
  if (bus->heldElsewhere)
    return UsbResult::Busy;
  if (bus->denied)
    return UsbResult::Permission;
  ++bus->opened;
  *device = kDevice;
  *endpoints = bus->endpoints;
  return UsbResult::Ok;
}

UsbResult fakeRead(platform::UsbDevice* device, uint8_t endpoint, uint8_t* buffer, size_t size, size_t* received,
                   uint32_t timeoutMs) {
  EXPECT_EQ(kDevice, device);
  EXPECT_EQ(bus->endpoints.bulkIn, endpoint);
  bus->readTimeouts.push_back(timeoutMs);
  bus->readSizes.push_back(size);
  *received = 0;
  if (bus->transfers.empty())
    return UsbResult::Timeout;
  FakeBus::Transfer t = bus->transfers.front();
  bus->transfers.pop_front();
  size_t n = std::min(size, t.bytes.size());
  if (n > 0)
    memcpy(buffer, t.bytes.data(), n);
  *received = n;
  return t.result;
}

UsbResult fakeWrite(platform::UsbDevice* device, uint8_t endpoint, const uint8_t* buffer, size_t size, size_t* sent,
                    uint32_t) {
  EXPECT_EQ(kDevice, device);
  EXPECT_EQ(bus->endpoints.bulkOut, endpoint);
  *sent = size - std::min(size, bus->writeShort);
  bus->written.insert(bus->written.end(), buffer, buffer + *sent);
  return bus->writeResult;
}

void fakeClose(platform::UsbDevice* device) {
  EXPECT_EQ(kDevice, device);
  ++bus->closed;
}

const platform::UsbOps kFakeOps = {fakeEnumerate, fakeOpen, fakeRead, fakeWrite, fakeClose};

class USBStream : public ::testing::Test {
 protected:
  void SetUp() override {
    bus = &fake;
    platform::usbSetOps(&kFakeOps);
  }
  void TearDown() override {
    if (stream)
      aStream_Destroy(&stream);
    platform::usbSetOps(nullptr);
    bus = nullptr;
  }
  FakeBus fake;
  aStreamRef stream = nullptr;
};

TEST_F(USBStream, AbsentAndBusyModules) {
  aStreamRef s = reinterpret_cast<aStreamRef>(1);
  EXPECT_EQ(aErrNotFound, aStream_CreateUSB(0x0BADF00D, &s));
  EXPECT_EQ(nullptr, s);
  fake.heldElsewhere = true;
  EXPECT_EQ(aErrBusy, aStream_CreateUSB(fake.presentSerial, &s));
  EXPECT_EQ(nullptr, s);
  EXPECT_EQ(aErrParam, aStream_CreateUSB(fake.presentSerial, nullptr));
  fake.heldElsewhere = false;
  fake.denied = true;  // not someone else's: ours to fix with the device's permissions
  EXPECT_EQ(aErrPermission, aStream_CreateUSB(fake.presentSerial, &s));
  EXPECT_EQ(nullptr, s);
  fake.denied = false;
  fake.endpoints.bulkInSize = 0;  // an interface without a usable IN pipe
  EXPECT_EQ(aErrInitialization, aStream_CreateUSB(fake.presentSerial, &s));
  EXPECT_EQ(fake.opened, fake.closed);
}

TEST_F(USBStream, ReadsAreBoundedAndHandOutWholeTransfers) {
  ASSERT_EQ(aErrNone, aStream_CreateUSB(fake.presentSerial, &stream));
  uint8_t buf[4];
  // Nothing arrives: not ready, after a wait bounded at 500 ms.
  EXPECT_EQ(aErrNotReady, aStream_Read(stream, buf, 1));
  ASSERT_EQ(1u, fake.readTimeouts.size());
  EXPECT_EQ(500u, fake.readTimeouts[0]);
  EXPECT_EQ(64u, fake.readSizes[0]);
  // An empty transfer is nothing too.
  fake.transfers.push_back({UsbResult::Ok, {}});
  EXPECT_EQ(aErrNotReady, aStream_Read(stream, buf, 1));
  // One transfer serves several reads without another transfer; a read
  // across the end of it keeps its bytes until the next transfer.
  fake.transfers.push_back({UsbResult::Ok, {4, 2, 0, 1, 6}});
  ASSERT_EQ(aErrNone, aStream_Read(stream, buf, 4));
  EXPECT_EQ((std::vector<uint8_t>{4, 2, 0, 1}), std::vector<uint8_t>(buf, buf + 4));
  size_t transfersSoFar = fake.readTimeouts.size();
  EXPECT_EQ(aErrNotReady, aStream_Read(stream, buf, 2));
  EXPECT_EQ(transfersSoFar + 1, fake.readTimeouts.size());
  // Bytes that came with a time-out are not lost.
  fake.transfers.push_back({UsbResult::Timeout, {1}});
  ASSERT_EQ(aErrNone, aStream_Read(stream, buf, 2));
  EXPECT_EQ((std::vector<uint8_t>{6, 1}), std::vector<uint8_t>(buf, buf + 2));
}

TEST_F(USBStream, TransferFailures) {
  ASSERT_EQ(aErrNone, aStream_CreateUSB(fake.presentSerial, &stream));
  uint8_t b;
  fake.transfers.push_back({UsbResult::Cancelled, {}});
  EXPECT_EQ(aErrCancel, aStream_Read(stream, &b, 1));
  fake.transfers.push_back({UsbResult::NoDevice, {}});
  EXPECT_EQ(aErrIO, aStream_Read(stream, &b, 1));
  fake.transfers.push_back({UsbResult::Failed, {}});
  EXPECT_EQ(aErrIO, aStream_Read(stream, &b, 1));
}

TEST_F(USBStream, WritesAllOrReportIO) {
  ASSERT_EQ(aErrNone, aStream_CreateUSB(fake.presentSerial, &stream));
  const uint8_t packet[] = {4, 3, 1, 2, 3};
  ASSERT_EQ(aErrNone, aStream_Write(stream, packet, sizeof packet));
  ASSERT_EQ(aErrNone, aStream_Write(stream, packet, 1));
  EXPECT_EQ((std::vector<uint8_t>{4, 3, 1, 2, 3, 4}), fake.written);
  fake.writeShort = 1;
  EXPECT_EQ(aErrIO, aStream_Write(stream, packet, sizeof packet));
  fake.writeShort = 0;
  fake.writeResult = UsbResult::NoDevice;
  EXPECT_EQ(aErrIO, aStream_Write(stream, packet, sizeof packet));
  EXPECT_EQ(aErrNone, aStream_Destroy(&stream));
  EXPECT_EQ(1, fake.closed);
}

bool collect(const linkSpec* spec, bool* found, void* ref) {
  static_cast<std::vector<linkSpec>*>(ref)->push_back(*spec);
  *found = true;
  return true;
}

TEST_F(USBStream, DiscoveryWalksTheSameTable) {
  std::vector<linkSpec> specs;
  EXPECT_EQ(1, aDiscovery_EnumerateModules(LINKTYPE_USB, collect, &specs));
  ASSERT_EQ(1u, specs.size());
  EXPECT_EQ(0x0012ABCDu, specs[0].serialNumber);
  EXPECT_EQ(19u, specs[0].model);
}

}  // namespace
