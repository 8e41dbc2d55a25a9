// The serial stream and the serial port service on a COM port whose far end
// echoes every byte (see com_port_test.py).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "../support/TestEnv.h"
#include "aStream.h"
#include "aTime.h"
#include "platform/serial.h"

namespace {

std::string portName() {
  const char* name = getenv("KLV_TEST_COM_PORT");
  return name ? name : "";
}

class ComPort : public ::testing::Test {
 protected:
  void SetUp() override {
    port = portName();
    ASSERT_FALSE(port.empty()) << "KLV_TEST_COM_PORT is not set";
  }
  void TearDown() override {
    if (stream) aStream_Destroy(&stream);
  }
  // Reads exactly count bytes, waiting on the stream (10 s in all).
  aErr readStream(uint8_t* buffer, size_t count) {
    uint32_t start = aTime_GetMSTicks();
    size_t got = 0;
    while (got < count && aTime_GetMSTicks() - start < 10000) {
      aStream_Wait(stream, 200);
      aErr err = aStream_Read(stream, buffer + got, 1);
      if (err == aErrNone)
        ++got;
      else if (err != aErrNotReady)
        return err;
    }
    return got == count ? aErrNone : aErrTimeout;
  }

  std::string port;
  aStreamRef stream = nullptr;
};

TEST_F(ComPort, StreamBytesComeBackInOrder) {
  ASSERT_EQ(aErrNone, aStream_CreateSerial(port.c_str(), aSERIAL_BAUD_115200, 0, 0, 0, &stream));
  const uint8_t out[] = {0xAF, 0x01, 0x01, 0x00, 0xFF, 0x0D, 0x0A, 0x11, 0x13};
  ASSERT_EQ(aErrNone, aStream_Write(stream, out, sizeof out));
  uint8_t back[sizeof out] = {};
  ASSERT_EQ(aErrNone, readStream(back, sizeof back));
  EXPECT_EQ(0, memcmp(out, back, sizeof out));
  // Nothing more is waiting: the wait runs out.
  EXPECT_EQ(aErrNotReady, aStream_Wait(stream, 200));
}

TEST_F(ComPort, LargeWriteGoesThroughWhole) {
  // Framing options are accepted (the pseudo-terminal ignores them).
  ASSERT_EQ(aErrNone, aStream_CreateSerial(port.c_str(), aSERIAL_BAUD_9600, 1, 0, 1, &stream));
  std::vector<uint8_t> out(3000);
  for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(i * 7);
  ASSERT_EQ(aErrNone, aStream_Write(stream, out.data(), out.size()));
  std::vector<uint8_t> back(out.size());
  ASSERT_EQ(aErrNone, readStream(back.data(), back.size()));
  EXPECT_EQ(out, back);
}

TEST_F(ComPort, PortIsExclusiveAndRefusesUnknownRates) {
  platform::SerialPort* first = platform::serialOpen(port.c_str());
  ASSERT_NE(nullptr, first);
  platform::SerialPort* second = platform::serialOpen(port.c_str());
  // Windows keeps a COM port to one opener; Wine does not emulate that.
  if (!testenv::runningUnderWine()) {
    EXPECT_EQ(nullptr, second);
  }
  if (second) platform::serialClose(second);
  platform::SerialSettings odd{1234, false, false, false};
  EXPECT_FALSE(platform::serialConfigure(first, odd));
  platform::SerialSettings plain{57600, false, false, false};
  EXPECT_TRUE(platform::serialConfigure(first, plain));
  // A silent line: the wait runs out, a read finds nothing.
  EXPECT_FALSE(platform::serialWaitReadable(first, 150));
  uint8_t byte = 0;
  EXPECT_EQ(platform::SerialRead::Nothing, platform::serialReadByte(first, &byte));
  // A byte sent comes back; the wait sees it and the read hands it out once.
  const uint8_t ping = 0x5A;
  ASSERT_TRUE(platform::serialWrite(first, &ping, 1, 2000));
  ASSERT_TRUE(platform::serialWaitReadable(first, 5000));
  ASSERT_EQ(platform::SerialRead::Byte, platform::serialReadByte(first, &byte));
  EXPECT_EQ(0x5A, byte);
  EXPECT_EQ(platform::SerialRead::Nothing, platform::serialReadByte(first, &byte));
  EXPECT_TRUE(platform::serialClose(first));
  // Closed: the port can be opened again.
  platform::SerialPort* again = platform::serialOpen(port.c_str());
  ASSERT_NE(nullptr, again);
  EXPECT_TRUE(platform::serialClose(again));
}

TEST(ComPortName, UnknownPortIsRefused) {
  aStreamRef stream = nullptr;
  EXPECT_NE(aErrNone, aStream_CreateSerial("COM250", aSERIAL_BAUD_115200, 0, 0, 0, &stream));
  EXPECT_EQ(nullptr, stream);
}

}  // namespace
