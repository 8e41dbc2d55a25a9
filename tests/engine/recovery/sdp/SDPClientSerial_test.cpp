// The serial download client over a serial line, with the simulated boot
// loader on the other side of a pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>

#include "TestFiles.h"
#include "SDPClient.h"
#include "SdpPtySimulator.h"
#include "SdpTestSupport.h"
#include "Serial_SDPLoader.h"
#include "UpdaterDisplay.h"

namespace {

using sdptest::pattern;
using simsdp::DeviceConfig;
using simsdp::SdpPtySimulator;

// How long a reply byte is awaited here: far more than a real line needs, so
// that a loaded machine does not make a reply look missing.
const uint32_t kGenerousByteWaitMs = 400;

class SdpSerial : public ::testing::Test {
 protected:
#ifdef _WIN32
  void SetUp() override { GTEST_SKIP() << "the simulated loader serves a pseudo-terminal, which this system lacks"; }
#endif
  // prepare sets the device's hooks: they must be in place before it serves.
  void makeClient(const DeviceConfig& config = DeviceConfig(), uint32_t byteWaitMs = kGenerousByteWaitMs,
                  const std::function<void(simsdp::SdpDevice&)>& prepare = nullptr) {
    simulator = std::make_unique<SdpPtySimulator>(config);
    if (prepare)
      prepare(simulator->device());
    ASSERT_TRUE(simulator->start());
    connectClient(byteWaitMs);
  }
  void connectClient(uint32_t byteWaitMs = kGenerousByteWaitMs) {
    auto serial = std::make_unique<Serial_SDPLoader>(simulator->slavePath());
    serial->setByteWait(byteWaitMs);
    client = std::make_unique<SDPClient>();
    ASSERT_TRUE(client->setLoader(std::make_unique<sdptest::RecordingLoader>(std::move(serial), &writes)));
    ASSERT_TRUE(client->open());
  }
  void TearDown() override {
    client.reset();
    simulator.reset();
  }

  std::unique_ptr<SdpPtySimulator> simulator;
  std::unique_ptr<SDPClient> client;
  std::vector<std::ptrdiff_t> writes;
};

TEST_F(SdpSerial, WriteFileSendsReportsWithoutTheirIdAndTheDeviceHoldsEveryByte) {
  makeClient();
  testfiles::DebugCapture trace(DEBUG_iMXSerial);
  std::vector<uint8_t> data = pattern(2500, 11);
  EXPECT_EQ(client->writeFile(data, 0x20001000), SDPClient::kWriteOk);
  EXPECT_EQ(writes, (std::vector<std::ptrdiff_t>{16, 16, 1024, 1024, 452}));
  EXPECT_EQ(simulator->device().memory(0x20001000, data.size()), data);
  EXPECT_TRUE(trace.contains("Write Res: 452 , Total: 2500, Loop: 2, tell: 2500, size: 453\n"));
  EXPECT_TRUE(trace.contains("Loader Transfer Successful\n"));
}

TEST_F(SdpSerial, NoAckWrongStatusAndUnsolicitedData) {
  DeviceConfig noAck;
  noAck.faults.noAck = true;
  makeClient(noAck, 20);  // nothing will come; no need to wait long
  EXPECT_EQ(client->writeFile(pattern(64, 12), 0x20000000), SDPClient::kWriteNoAck);
  EXPECT_EQ(writes.size(), 5u);
  TearDown();

  DeviceConfig wrong;
  wrong.faults.wrongCompletion = true;
  makeClient(wrong);
  EXPECT_EQ(client->writeFile(pattern(1100, 13), 0x20000000), SDPClient::kWriteBadStatus);
  TearDown();

  DeviceConfig unsolicited;
  unsolicited.faults.unsolicited = true;
  makeClient(unsolicited);
  EXPECT_EQ(client->writeFile(pattern(3000, 14), 0x20000000), SDPClient::kWriteDeviceSentData);
}

TEST_F(SdpSerial, WriteAndJumpOfSeveralBlocks) {
  std::promise<uint32_t> jump;
  makeClient(DeviceConfig(), kGenerousByteWaitMs, [&](simsdp::SdpDevice& device) {
    device.onJump = [&](uint32_t address) { jump.set_value(address); };
  });
  struct Block {
    uint32_t address;
    std::vector<uint8_t> bytes;
  };
  std::vector<Block> blocks = {{0x20000000, pattern(1024, 21)}, {0x20000400, pattern(5000, 22)},
                               {0x20100000, pattern(3, 23)}};
  for (const Block& b : blocks) EXPECT_EQ(client->writeFile(b.bytes, b.address), SDPClient::kWriteOk);
  client->jumpAddress(0x20000400);

  std::future<uint32_t> jumped = jump.get_future();
  ASSERT_EQ(jumped.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_EQ(jumped.get(), 0x20000400u);
  std::vector<simsdp::WrittenBlock> written = simulator->device().blocks();
  ASSERT_EQ(written.size(), blocks.size());
  for (size_t i = 0; i < blocks.size(); ++i) {
    EXPECT_EQ(written[i].address, blocks[i].address);
    EXPECT_EQ(written[i].bytes, blocks[i].bytes);
  }
  // The RAM image as saved holds them too.
  TempDir dir;
  std::string error;
  ASSERT_TRUE(simulator->device().saveImage(dir.file("ram.bin"), &error)) << error;
  std::vector<uint8_t> ram = testfiles::readBytes(dir.file("ram.bin"));
  ASSERT_EQ(ram.size(), 4u << 20);
  for (const Block& b : blocks)
    EXPECT_TRUE(std::equal(b.bytes.begin(), b.bytes.end(), ram.begin() + (b.address - 0x20000000)));
}

TEST_F(SdpSerial, StrayBytesCompletedIntoOneCommandAreRefusedAndTheNextCommandsLineUp) {
  simulator = std::make_unique<SdpPtySimulator>();
  ASSERT_TRUE(simulator->start());
  {
    // What another protocol's probe leaves on the line ("?" and a line end),
    // completed with filler into one command, however long the pause between.
    Serial_SDPLoader probe(simulator->slavePath());
    probe.setByteWait(kGenerousByteWaitMs);
    ASSERT_TRUE(probe.open());
    EXPECT_EQ(probe.write({0, '?', '\r', '\n'}), 3);
    std::vector<uint8_t> reply;
    EXPECT_EQ(probe.read(reply, 300), 0);
    EXPECT_EQ(probe.write(std::vector<uint8_t>(14, 0)), 13);
    EXPECT_EQ(probe.read(reply, 100), 8);
    uint32_t status = 0;
    ASSERT_TRUE(probe.responseWord(reply, 0, status));
    EXPECT_EQ(status, simsdp::kRefused);
  }
  connectClient();
  std::vector<uint8_t> data = pattern(1500, 15);
  EXPECT_EQ(client->writeFile(data, 0x20000000), SDPClient::kWriteOk);
  EXPECT_EQ(simulator->device().memory(0x20000000, data.size()), data);
}

TEST_F(SdpSerial, StalledLineEndsTheWriteInBoundedTime) {
  DeviceConfig config;
  config.faults.stallAfterWriteFile = true;
  makeClient(config);
  testfiles::DebugCapture trace(DEBUG_iMXSerial);
  // Far more than the line buffers between the two sides of the terminal.
  EXPECT_EQ(client->writeFile(pattern(2u << 20, 31), 0x20000000), SDPClient::kWriteBadStatus);
  EXPECT_TRUE(trace.contains("Error: serial port took no more bytes"));
  EXPECT_EQ(writes.back(), -1);
}

TEST(SdpSerialOpen, MissingPortIsReported) {
  Serial_SDPLoader loader("/dev/no-such-port-sdp");
  testing::internal::CaptureStdout();
  EXPECT_FALSE(loader.open());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unable to open Serial Port: /dev/no-such-port-sdp\n");
  std::vector<uint8_t> reply;
  EXPECT_EQ(loader.read(reply, 0), 0);
  EXPECT_EQ(loader.write({1, 2, 3}), -1);
}

TEST(SdpSerialOpen, BusyPortIsRefused) {
#ifdef _WIN32
  GTEST_SKIP() << "the simulated loader serves a pseudo-terminal, which this system lacks";
#endif
  SdpPtySimulator simulator;
  ASSERT_TRUE(simulator.start());
  Serial_SDPLoader first(simulator.slavePath());
  Serial_SDPLoader second(simulator.slavePath());
  ASSERT_TRUE(first.open());
  testing::internal::CaptureStdout();
  EXPECT_FALSE(second.open());
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Unable to open Serial Port"), std::string::npos);
}

}  // namespace
