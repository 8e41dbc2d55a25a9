// USB links against a fake USB bus: links to one serial number are shared
// and counted, an absent module gives no link, and a reset opens the device
// again.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "LinkTestSupport.h"
#include "aLink.h"
#include "platform/usb.h"

namespace {

using platform::UsbResult;
using Bytes = std::vector<uint8_t>;

const uint32_t kSerial = 0x0012ABCD;

// One module on the bus; the module side is played by the test. Its
// operations are called from the link's reader and writer threads.
struct FakeModule {
  std::mutex lock;
  std::condition_variable changed;
  std::deque<uint8_t> toHost;
  Bytes written;
  int opened = 0;
  int closed = 0;
  bool open = false;
};

FakeModule* gModule = nullptr;
platform::UsbDevice* const kDevice = reinterpret_cast<platform::UsbDevice*>(0x4321);

bool fakeEnumerate(uint16_t, platform::UsbVisit, void*) { return true; }

UsbResult fakeOpen(uint32_t serialNumber, platform::UsbDevice** device, platform::UsbEndpoints* endpoints) {
  std::lock_guard<std::mutex> guard(gModule->lock);
  if (serialNumber != kSerial) return UsbResult::NotFound;
  if (gModule->open) return UsbResult::Busy;
  gModule->open = true;
  gModule->opened++;
  *device = kDevice;
  *endpoints = platform::UsbEndpoints{0x81, 64, 0x02, 64, 0, 0};
  return UsbResult::Ok;
}

UsbResult fakeRead(platform::UsbDevice*, uint8_t, uint8_t* buffer, size_t size, size_t* received, uint32_t timeoutMs) {
  std::unique_lock<std::mutex> guard(gModule->lock);
  *received = 0;
  gModule->changed.wait_for(guard, std::chrono::milliseconds(std::min<uint32_t>(timeoutMs, 50)),
                            [] { return !gModule->toHost.empty(); });
  while (*received < size && !gModule->toHost.empty()) {
    buffer[(*received)++] = gModule->toHost.front();
    gModule->toHost.pop_front();
  }
  return *received ? UsbResult::Ok : UsbResult::Timeout;
}

UsbResult fakeWrite(platform::UsbDevice*, uint8_t, const uint8_t* buffer, size_t size, size_t* sent, uint32_t) {
  std::lock_guard<std::mutex> guard(gModule->lock);
  gModule->written.insert(gModule->written.end(), buffer, buffer + size);
  *sent = size;
  gModule->changed.notify_all();
  return UsbResult::Ok;
}

void fakeClose(platform::UsbDevice*) {
  std::lock_guard<std::mutex> guard(gModule->lock);
  gModule->open = false;
  gModule->closed++;
  gModule->changed.notify_all();
}

const platform::UsbOps kFakeOps = {fakeEnumerate, fakeOpen, fakeRead, fakeWrite, fakeClose};

bool endsWith(const Bytes& bytes, const Bytes& tail) {
  return bytes.size() >= tail.size() && std::equal(tail.begin(), tail.end(), bytes.end() - static_cast<long>(tail.size()));
}

class UsbLink : public ::testing::Test {
 protected:
  void SetUp() override {
    gModule = &module;
    platform::usbSetOps(&kFakeOps);
  }
  void TearDown() override {
    platform::usbSetOps(nullptr);
    gModule = nullptr;
  }
  bool waitWritten(const std::function<bool(const Bytes&)>& done) {
    std::unique_lock<std::mutex> guard(module.lock);
    return module.changed.wait_for(guard, std::chrono::seconds(10), [&] { return done(module.written); });
  }
  FakeModule module;
};

TEST_F(UsbLink, LinksToOneSerialNumberAreSharedAndCounted) {
  aLinkRef first = aLink_CreateUSB(kSerial);
  aLinkRef second = aLink_CreateUSB(kSerial);
  ASSERT_NE(first, 0u);
  EXPECT_EQ(first, second);
  ASSERT_TRUE(waitStatus(first, LINK_RUNNING));
  EXPECT_EQ(module.opened, 1);
  ASSERT_TRUE(waitWritten([](const Bytes& w) { return w.size() >= 3; }));

  ASSERT_EQ(aLink_Destroy(&second), aErrNone);
  const uint8_t data[] = {0x17, 0x09};
  aPacket* packet = aPacket_CreateWithData(0x02, 2, data);
  ASSERT_EQ(aLink_PutPacket(first, packet), aErrNone);
  aPacket_Destroy(&packet);
  ASSERT_TRUE(waitWritten([](const Bytes& w) { return endsWith(w, {0x02, 0x02, 0x17, 0x09}); }));
  EXPECT_EQ(module.closed, 0);

  ASSERT_EQ(aLink_Destroy(&first), aErrNone);
  std::lock_guard<std::mutex> guard(module.lock);
  EXPECT_EQ(module.closed, 1);
  EXPECT_EQ(Bytes(module.written.begin(), module.written.begin() + 3), (Bytes{0xAF, 0x01, 0x01}));
  EXPECT_TRUE(endsWith(module.written, {0xAF, 0x01, 0x00}));
}

TEST_F(UsbLink, AbsentModuleGivesNoLink) {
  EXPECT_EQ(aLink_CreateUSB(0x00C0FFEE), 0u);
  EXPECT_EQ(module.opened, 0);
}

TEST_F(UsbLink, ResetOpensTheDeviceAgainWithEmptyQueues) {
  aLinkRef link = aLink_CreateUSB(kSerial);
  ASSERT_TRUE(waitStatus(link, LINK_RUNNING));
  {
    std::lock_guard<std::mutex> guard(module.lock);
    for (uint8_t b : {0x02, 0x01, 0x33}) module.toHost.push_back(b);
    module.changed.notify_all();
  }
  aPacket* packet = aLink_AwaitPacket(link, 10000);
  ASSERT_NE(packet, nullptr);
  EXPECT_EQ(packet->data[0], 0x33);
  aPacket_Destroy(&packet);

  ASSERT_EQ(aLink_Reset(link), aErrNone);
  ASSERT_TRUE(waitStatus(link, LINK_RUNNING));
  EXPECT_EQ(module.opened, 2);
  EXPECT_EQ(module.closed, 1);
  // Stop on the old connection, start on the new one.
  ASSERT_TRUE(waitWritten([](const Bytes& w) {
    return endsWith(w, {0xAF, 0x01, 0x00, 0xAF, 0x01, 0x01});
  }));
  EXPECT_EQ(aLink_GetPacket(link), nullptr);
  ASSERT_EQ(aLink_Destroy(&link), aErrNone);
}

}  // namespace
