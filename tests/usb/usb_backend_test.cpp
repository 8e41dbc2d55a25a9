// The libusb backend of the USB operations table, and the USB stream above
// it, against simulated devices on a umockdev bus: the module's identity as
// the device walk reports it, the claim of the link interface and its refusal,
// bulk data both ways with short transfers, time-outs, a stalled pipe, a
// transfer cancelled by closing, and a device pulled out under a transfer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "UsbBed.h"
#include "aLink.h"
#include "aStream.h"
#include "platform/usb.h"

namespace {

using platform::UsbResult;
using simusb::UsbGadget;

constexpr uint32_t kSerial = 0x0012ABCD;
constexpr uint32_t kWaitMs = 20000;  // generous bound on anything awaited

struct Found {
  std::vector<platform::UsbDeviceInfo> devices;
};

bool collect(const platform::UsbDeviceInfo* info, void* ref) {
  static_cast<Found*>(ref)->devices.push_back(*info);
  return true;
}

class UsbBackend : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_UMOCKDEV();
    ASSERT_TRUE(usb.bed->ok()) << usb.bed->error();
  }
  void TearDown() override {
    if (device) ops->close(device);
  }

  // Plugs a device in and waits until this process's libusb has heard of it.
  std::shared_ptr<UsbGadget> plug(const simusb::UsbIdentity& identity) {
    auto gadget = std::make_shared<UsbGadget>(identity);
    handles.push_back(usb.plug(gadget));
    bool seen = false;
    for (int i = 0; i < 2000 && !seen; ++i) {
      Found all;
      ops->enumerate(identity.vendorId, collect, &all);
      for (const platform::UsbDeviceInfo& info : all.devices) seen = seen || identity.serial == info.serial;
      if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(seen) << identity.serial;
    return gadget;
  }
  std::shared_ptr<UsbGadget> plugModule() { return plug(simusb::moduleIdentity(kSerial, 19)); }

  UsbResult open(uint32_t serial = kSerial) { return ops->open(serial, &device, &endpoints); }

  // Everything the host sent on the connection until count bytes are in.
  std::vector<uint8_t> hostBytes(UsbGadget& gadget, uint64_t connection, size_t count) {
    std::vector<uint8_t> bytes;
    uint8_t buffer[256];
    for (int i = 0; i < 100 && bytes.size() < count; ++i) {
      long n = gadget.readFromHost(connection, buffer, sizeof buffer, 200);
      if (n < 0) break;
      bytes.insert(bytes.end(), buffer, buffer + n);
    }
    return bytes;
  }

  UsbBed usb;
  std::vector<int> handles;
  const platform::UsbOps* ops = platform::usbSystemOps();
  platform::UsbDevice* device = nullptr;
  platform::UsbEndpoints endpoints{};
};

TEST_F(UsbBackend, DeviceWalkReportsVendorProductSerialAndTheLinkInterface) {
  plugModule();
  simusb::UsbIdentity other = simusb::moduleIdentity(0x0BADF00D, 5);
  other.interfaceProtocol = 0x11;  // the maker's, but without the link interface
  plug(other);
  simusb::UsbIdentity foreign = simusb::moduleIdentity(0x11111111, 19);
  foreign.vendorId = 0x1234;
  plug(foreign);

  Found module;
  ASSERT_TRUE(ops->enumerate(simusb::kModuleVendorId, collect, &module));
  ASSERT_EQ(2u, module.devices.size());
  for (const platform::UsbDeviceInfo& info : module.devices) {
    EXPECT_EQ(0x3A7C, info.vendorId);
    const bool link = std::string(info.serial) == "0012ABCD";
    EXPECT_EQ(link ? 0x0013 : 0x0005, info.productId) << info.serial;
    EXPECT_EQ(link, info.hasLinkInterface) << info.serial;
    EXPECT_TRUE(link || std::string(info.serial) == "0BADF00D") << info.serial;
  }
  Found all;
  ASSERT_TRUE(ops->enumerate(0, collect, &all));
  EXPECT_EQ(3u, all.devices.size());
}

TEST_F(UsbBackend, OpenClaimsTheLinkInterfaceAndCarriesBulkDataBothWays) {
  auto gadget = plugModule();
  ASSERT_EQ(UsbResult::Ok, open());
  EXPECT_EQ(0x81, endpoints.bulkIn);
  EXPECT_EQ(64, endpoints.bulkInSize);
  EXPECT_EQ(0x01, endpoints.bulkOut);
  EXPECT_EQ(64, endpoints.bulkOutSize);
  EXPECT_EQ(0x82, endpoints.interruptIn);
  const uint64_t connection = gadget->waitForConnection(kWaitMs);
  ASSERT_NE(0u, connection);
  EXPECT_EQ(2u, gadget->counters().clearHalts);  // both pipes cleared on opening

  // Out: more than one packet in one transfer.
  std::vector<uint8_t> out(100);
  for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(i * 7);
  size_t sent = 0;
  ASSERT_EQ(UsbResult::Ok, ops->bulkWrite(device, 0x01, out.data(), out.size(), &sent, kWaitMs));
  EXPECT_EQ(out.size(), sent);
  EXPECT_EQ(out, hostBytes(*gadget, connection, out.size()));

  // In: a short transfer ends with what is there; a longer answer comes in
  // packet-sized transfers, in order.
  uint8_t buffer[64];
  size_t received = 0;
  ASSERT_TRUE(gadget->writeToHost(connection, out.data(), 10));
  ASSERT_EQ(UsbResult::Ok, ops->bulkRead(device, 0x81, buffer, sizeof buffer, &received, kWaitMs));
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 10), std::vector<uint8_t>(buffer, buffer + received));
  ASSERT_TRUE(gadget->writeToHost(connection, out.data(), out.size()));
  std::vector<uint8_t> in;
  for (int i = 0; i < 10 && in.size() < out.size(); ++i) {
    ASSERT_EQ(UsbResult::Ok, ops->bulkRead(device, 0x81, buffer, sizeof buffer, &received, kWaitMs));
    EXPECT_LE(received, sizeof buffer);
    in.insert(in.end(), buffer, buffer + received);
  }
  EXPECT_EQ(out, in);

  // Closing releases the interface: the module sees the connection end.
  ops->close(device);
  device = nullptr;
  EXPECT_EQ(-1, gadget->readFromHost(connection, buffer, sizeof buffer, kWaitMs));
}

TEST_F(UsbBackend, ReadWithNothingComingTimesOut) {
  plugModule();
  ASSERT_EQ(UsbResult::Ok, open());
  uint8_t buffer[64];
  size_t received = 99;
  EXPECT_EQ(UsbResult::Timeout, ops->bulkRead(device, 0x81, buffer, sizeof buffer, &received, 100));
  EXPECT_EQ(0u, received);
}

TEST_F(UsbBackend, OpenRefusals) {
  auto gadget = plugModule();
  EXPECT_EQ(UsbResult::NotFound, open(0x0012ABCE));
  EXPECT_EQ(nullptr, device);
  gadget->setHeldElsewhere(true);
  EXPECT_EQ(UsbResult::Busy, open());
  EXPECT_EQ(nullptr, device);
  gadget->setHeldElsewhere(false);
  ASSERT_EQ(UsbResult::Ok, open());
  // Opened by us: a second opening is refused as well.
  platform::UsbDevice* second = nullptr;
  platform::UsbEndpoints more{};
  EXPECT_EQ(UsbResult::Busy, ops->open(kSerial, &second, &more));
  EXPECT_EQ(nullptr, second);
}

TEST_F(UsbBackend, NodeWithoutPermissionIsReportedAsSuch) {
  if (geteuid() == 0) GTEST_SKIP() << "root opens any node; the end-to-end test runs Updater without that right";
  plugModule();
  ASSERT_TRUE(usb.bed->denyAccess(handles.back()));
  EXPECT_EQ(UsbResult::Permission, open());
  Found module;
  ASSERT_TRUE(ops->enumerate(simusb::kModuleVendorId, collect, &module));
  ASSERT_EQ(1u, module.devices.size());
  EXPECT_TRUE(module.devices[0].permissionDenied);
}

TEST_F(UsbBackend, StalledPipesAreClearedAndTheTransferMadeAgain) {
  auto gadget = plugModule();
  ASSERT_EQ(UsbResult::Ok, open());
  const uint64_t connection = gadget->waitForConnection(kWaitMs);
  const unsigned cleared = gadget->counters().clearHalts;
  gadget->haltEndpoint(0x01);
  const uint8_t out[3] = {1, 2, 3};
  size_t sent = 0;
  EXPECT_EQ(UsbResult::Ok, ops->bulkWrite(device, 0x01, out, sizeof out, &sent, kWaitMs));
  EXPECT_EQ(3u, sent);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 3), hostBytes(*gadget, connection, 3));

  gadget->haltEndpoint(0x81);
  ASSERT_TRUE(gadget->writeToHost(connection, out, sizeof out));
  uint8_t buffer[64];
  size_t received = 0;
  EXPECT_EQ(UsbResult::Ok, ops->bulkRead(device, 0x81, buffer, sizeof buffer, &received, kWaitMs));
  EXPECT_EQ(std::vector<uint8_t>(out, out + 3), std::vector<uint8_t>(buffer, buffer + received));
  EXPECT_EQ(cleared + 2, gadget->counters().clearHalts);
}

// A reader blocked on the IN pipe: waits until its transfer is out.
std::future<UsbResult> blockedReader(const platform::UsbOps* ops, platform::UsbDevice* device, UsbGadget& gadget) {
  auto reader = std::async(std::launch::async, [ops, device] {
    uint8_t buffer[64];
    size_t received = 0;
    return ops->bulkRead(device, 0x81, buffer, sizeof buffer, &received, 60000);
  });
  EXPECT_TRUE(gadget.waitFor([](const UsbGadget::Counters& c) { return c.inSubmitted > 0; }, kWaitMs));
  return reader;
}

TEST_F(UsbBackend, ClosingCancelsATransferInFlight) {
  auto gadget = plugModule();
  ASSERT_EQ(UsbResult::Ok, open());
  std::future<UsbResult> reader = blockedReader(ops, device, *gadget);
  ops->close(device);
  device = nullptr;
  ASSERT_EQ(std::future_status::ready, reader.wait_for(std::chrono::milliseconds(kWaitMs)));
  EXPECT_EQ(UsbResult::Cancelled, reader.get());
  EXPECT_EQ(1u, gadget->counters().discards);
}

TEST_F(UsbBackend, DevicePulledOutEndsItsTransfersWithNoDevice) {
  auto gadget = plugModule();
  ASSERT_EQ(UsbResult::Ok, open());
  std::future<UsbResult> reader = blockedReader(ops, device, *gadget);
  usb.bed->unplug(handles.back());
  ASSERT_EQ(std::future_status::ready, reader.wait_for(std::chrono::milliseconds(kWaitMs)));
  EXPECT_EQ(UsbResult::NoDevice, reader.get());
  const uint8_t byte = 0;
  size_t sent = 0;
  EXPECT_NE(UsbResult::Ok, ops->bulkWrite(device, 0x01, &byte, 1, &sent, kWaitMs));
  platform::UsbDevice* again = nullptr;
  platform::UsbEndpoints more{};
  EXPECT_EQ(UsbResult::NotFound, ops->open(kSerial, &again, &more));  // gone from the bus
}

// The USB stream over the real backend: bytes from the module, the time-out
// as "not ready yet", and the broken transport once the module is gone.
TEST_F(UsbBackend, StreamReadsTheModuleAndReportsItsRemoval) {
  auto gadget = plugModule();
  aStreamRef stream = nullptr;
  ASSERT_EQ(aErrNone, aStream_CreateUSB(kSerial, &stream));
  const uint64_t connection = gadget->waitForConnection(kWaitMs);
  const uint8_t request[4] = {0xAF, 1, 1, 0};
  ASSERT_EQ(aErrNone, aStream_Write(stream, request, sizeof request));
  EXPECT_EQ(std::vector<uint8_t>(request, request + 4), hostBytes(*gadget, connection, 4));

  uint8_t byte = 0;
  EXPECT_EQ(aErrNotReady, aStream_Read(stream, &byte, 1));
  const uint8_t answer[3] = {2, 1, 9};
  ASSERT_TRUE(gadget->writeToHost(connection, answer, sizeof answer));
  uint8_t three[3] = {};
  ASSERT_EQ(aErrNone, aStream_Read(stream, three, 3));
  EXPECT_EQ(std::vector<uint8_t>(answer, answer + 3), std::vector<uint8_t>(three, three + 3));

  usb.bed->unplug(handles.back());
  aErr err = aErrNotReady;
  for (int i = 0; i < 50 && err == aErrNotReady; ++i) err = aStream_Read(stream, &byte, 1);
  EXPECT_EQ(aErrIO, err);
  EXPECT_EQ(aErrNone, aStream_Destroy(&stream));
  EXPECT_EQ(aErrNotFound, aStream_CreateUSB(kSerial, &stream));
}

// A packet link over USB whose module is pulled out: its reader sees the
// broken transport, and destroying the link ends both of its threads.
TEST_F(UsbBackend, LinkToAModulePulledOutEndsItsThreads) {
  UsbModule* module = usb.add(moduleConfig(kSerial, 19));
  ASSERT_TRUE(module);
  aLinkRef link = aLink_CreateUSB(kSerial);
  ASSERT_NE(0u, link);
  ASSERT_TRUE(module->simulator->waitFor([](const simmodule::Stats& s) { return s.linkStarts > 0; }, kWaitMs));
  module->port->pullOut();
  linkStatus status = aLink_GetStatus(link);
  for (int i = 0; i < 2000 && status != LINK_READ_ERROR; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    status = aLink_GetStatus(link);
  }
  EXPECT_EQ(LINK_READ_ERROR, status);
  auto destroyed = std::async(std::launch::async, [&link] { return aLink_Destroy(&link); });
  ASSERT_EQ(std::future_status::ready, destroyed.wait_for(std::chrono::milliseconds(kWaitMs)));
  EXPECT_EQ(aErrNone, destroyed.get());
  EXPECT_EQ(0u, link);
}

}  // namespace
