// The serial download client over HID, with the simulated boot loader standing
// in for the HID library.
#include <gtest/gtest.h>

#include "TestFiles.h"
#include "FakeHidDevice.h"
#include "HID_SDPLoader.h"
#include "SDPClient.h"
#include "SdpTestSupport.h"
#include "UpdaterDisplay.h"

namespace {

using sdptest::pattern;
using simsdp::DeviceConfig;
using simsdp::FakeHidDevice;

class SdpHid : public ::testing::Test {
 protected:
  // A client on a fresh fake device with the given faults.
  void makeClient(const DeviceConfig& config = DeviceConfig()) {
    fake = std::make_unique<FakeHidDevice>(config);
    fake->install();
    client = std::make_unique<SDPClient>();
    auto loader = std::make_unique<sdptest::RecordingLoader>(std::make_unique<HID_SDPLoader>(0x1FC9, 0x0130),
                                                             &writes);
    ASSERT_TRUE(client->setLoader(std::move(loader)));
    ASSERT_TRUE(client->open());
  }
  void TearDown() override {
    client.reset();  // the loader closes the fake device before it goes
    fake.reset();
  }

  std::unique_ptr<FakeHidDevice> fake;
  std::unique_ptr<SDPClient> client;
  std::vector<std::ptrdiff_t> writes;
};

TEST_F(SdpHid, WriteFileSendsReportsOf1025AndTheDeviceHoldsEveryByte) {
  makeClient();
  testfiles::DebugCapture trace(DEBUG_iMXSerial);
  std::vector<uint8_t> data = pattern(2500, 1);
  EXPECT_EQ(client->writeFile(data, 0x20000100), SDPClient::kWriteOk);

  // ERROR_STATUS, WRITE_FILE, then three data reports.
  EXPECT_EQ(fake->reportSizes(), (std::vector<size_t>{17, 17, 1025, 1025, 453}));
  EXPECT_EQ(writes, (std::vector<std::ptrdiff_t>{17, 17, 1025, 1025, 453}));
  EXPECT_EQ(fake->device().memory(0x20000100, data.size()), data);
  EXPECT_TRUE(trace.contains("Write Res: 1025 , Total: 2050, Loop: 1, tell: 2048, size: 1025\n"));
  EXPECT_TRUE(trace.contains("Written Bytes: 2503\n"));
  EXPECT_TRUE(trace.contains("Loader Transfer Successful\n"));
  EXPECT_TRUE(trace.contains("1 4 4 20 0 1 0 20 0 0 9 C4 0 0 0 0 0 \n"));
}

TEST_F(SdpHid, NoAckGivesUpAfterFiveStatusChecks) {
  DeviceConfig config;
  config.faults.noAck = true;
  makeClient(config);
  testfiles::DebugCapture trace(DEBUG_iMXSerial);
  EXPECT_EQ(client->writeFile(pattern(100, 2), 0x20000000), SDPClient::kWriteNoAck);
  EXPECT_EQ(fake->reportSizes().size(), 5u);  // five ERROR_STATUS, no WRITE_FILE
  EXPECT_TRUE(trace.contains("Error: No ack from iMX device\n"));
  EXPECT_TRUE(fake->device().blocks().empty());
}

TEST_F(SdpHid, SilentDeviceIsNoAck) {
  DeviceConfig config;
  config.faults.silent = true;
  makeClient(config);
  EXPECT_FALSE(client->checkStatus());
  EXPECT_EQ(client->writeFile(pattern(10, 3), 0x20000000), SDPClient::kWriteNoAck);
}

TEST_F(SdpHid, DataFromTheDeviceDuringTheTransferAbortsIt) {
  DeviceConfig config;
  config.faults.unsolicited = true;
  makeClient(config);
  testfiles::DebugCapture trace(DEBUG_iMXSerial);
  EXPECT_EQ(client->writeFile(pattern(3000, 4), 0x20000000), SDPClient::kWriteDeviceSentData);
  // Nothing of the data went out.
  EXPECT_EQ(fake->reportSizes(), (std::vector<size_t>{17, 17}));
  EXPECT_TRUE(trace.contains("Error while transfering loader. Aborting\n"));
}

TEST_F(SdpHid, WrongCompletionStatusOrAddressOutsideRamFails) {
  DeviceConfig config;
  config.faults.wrongCompletion = true;
  makeClient(config);
  testfiles::DebugCapture trace(DEBUG_iMXSerial);
  EXPECT_EQ(client->writeFile(pattern(1500, 5), 0x20000000), SDPClient::kWriteBadStatus);
  EXPECT_TRUE(trace.contains("Loader Transfer Unsuccessful\n"));

  TearDown();
  writes.clear();
  makeClient();
  EXPECT_EQ(client->writeFile(pattern(16, 6), 0x10000000), SDPClient::kWriteBadStatus);
  EXPECT_EQ(client->writeFile(pattern(16, 6), 0x20000000 + (4u << 20) - 8), SDPClient::kWriteBadStatus);
  EXPECT_TRUE(fake->device().blocks().empty());
}

TEST_F(SdpHid, BlocksThenJumpReachTheDevice) {
  makeClient();
  std::vector<uint32_t> jumped;
  fake->device().onJump = [&](uint32_t address) { jumped.push_back(address); };
  std::vector<uint8_t> first = pattern(4096, 7), second = pattern(777, 8);
  EXPECT_EQ(client->writeFile(first, 0x20000000), SDPClient::kWriteOk);
  EXPECT_EQ(client->writeFile(second, 0x20010000), SDPClient::kWriteOk);
  client->jumpAddress(0x20000400);

  EXPECT_EQ(jumped, std::vector<uint32_t>{0x20000400});
  std::vector<simsdp::WrittenBlock> blocks = fake->device().blocks();
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_EQ(blocks[0].address, 0x20000000u);
  EXPECT_EQ(blocks[0].bytes, first);
  EXPECT_EQ(blocks[1].address, 0x20010000u);
  EXPECT_EQ(blocks[1].bytes, second);
}

TEST_F(SdpHid, OpenAndCloseFollowTheDevice) {
  {
    FakeHidDevice absent;
    absent.setPresent(false);
    absent.install();
    testfiles::DebugCapture trace(DEBUG_iMXSerial);
    SDPClient noDevice;
    ASSERT_TRUE(noDevice.setLoader(std::make_unique<HID_SDPLoader>(0x1FC9, 0x0130)));
    EXPECT_FALSE(noDevice.open());
    EXPECT_TRUE(trace.contains("handle: "));
    // Another product is not the boot loader.
    SDPClient otherProduct;
    ASSERT_TRUE(otherProduct.setLoader(std::make_unique<HID_SDPLoader>(0x1FC9, 0x0131)));
    absent.setPresent(true);
    EXPECT_FALSE(otherProduct.open());
  }
  FakeHidDevice fakeDevice;
  fakeDevice.install();
  {
    SDPClient owner;
    ASSERT_TRUE(owner.setLoader(std::make_unique<HID_SDPLoader>(0x1FC9, 0x0130)));
    EXPECT_FALSE(owner.setLoader(std::make_unique<HID_SDPLoader>(0x1FC9, 0x0130)));
    EXPECT_FALSE(SDPClient().setLoader(nullptr));
    ASSERT_TRUE(owner.open());
    EXPECT_TRUE(fakeDevice.isOpen());
  }
  // The client's end closes the device and leaves the HID library.
  EXPECT_FALSE(fakeDevice.isOpen());
  EXPECT_EQ(fakeDevice.initCalls(), 1);
  EXPECT_EQ(fakeDevice.exitCalls(), 1);
}

TEST(SdpClientWithoutLoader, FailsEveryExchange) {
  SDPClient client;
  EXPECT_FALSE(client.open());
  EXPECT_FALSE(client.checkStatus());
  EXPECT_EQ(client.writeFile({1, 2, 3}, 0x20000000), SDPClient::kWriteNoAck);
  client.jumpAddress(0x20000000);  // nothing to do, nothing breaks
}

}  // namespace
