// The serial transport over a pseudo-terminal pair standing in for a port.
#include <gtest/gtest.h>
#include <termios.h>
#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "aStream.h"
#include "aTime.h"
#include "platform/serial.h"

namespace {

class SerialStream : public ::testing::Test {
 protected:
  void SetUp() override {
    pty = platform::ptyOpen();
    ASSERT_NE(nullptr, pty);
    path = platform::ptySlavePath(pty);
  }
  void TearDown() override {
    if (stream)
      aStream_Destroy(&stream);
    platform::ptyClose(pty);
  }
  // Reads count bytes from the master side, waiting up to 5 s in all.
  std::string readMaster(size_t count) {
    std::string got;
    uint32_t start = aTime_GetMSTicks();
    while (got.size() < count && aTime_GetMSTicks() - start < 5000) {
      uint8_t buf[64];
      long n = platform::ptyRead(pty, buf, std::min(sizeof buf, count - got.size()), 100);
      if (n > 0)
        got.append(buf, buf + n);
    }
    return got;
  }
  // Reads exactly count bytes from the stream, retrying on aErrNotReady.
  aErr readStream(uint8_t* buffer, size_t count) {
    uint32_t start = aTime_GetMSTicks();
    aErr err;
    while ((err = aStream_Read(stream, buffer, count)) == aErrNotReady && aTime_GetMSTicks() - start < 5000)
      aTime_MSSleep(1);
    return err;
  }

  platform::Pty* pty = nullptr;
  std::string path;
  aStreamRef stream = nullptr;
};

TEST_F(SerialStream, BytesBothWaysAndPushBackAcrossPartialArrival) {
  ASSERT_EQ(aErrNone, aStream_CreateSerial(path.c_str(), aSERIAL_BAUD_115200, 0, 0, 0, &stream));
  const uint8_t out[] = {0xAF, 0x01, 0x01, 0x00, 0xFF};
  ASSERT_EQ(aErrNone, aStream_Write(stream, out, sizeof out));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(out), sizeof out), readMaster(sizeof out));

  uint8_t buf[4];
  EXPECT_EQ(aErrNotReady, aStream_Read(stream, buf, 4));  // nothing there: returns at once
  const uint8_t first[] = {0x10, 0x20};
  ASSERT_TRUE(platform::ptyWrite(pty, first, 2, 1000));
  // Until the other two arrive, reads keep what they took.
  uint32_t start = aTime_GetMSTicks();
  while (aTime_GetMSTicks() - start < 200)
    ASSERT_EQ(aErrNotReady, aStream_Read(stream, buf, 4));
  const uint8_t second[] = {0x30, 0x00};
  ASSERT_TRUE(platform::ptyWrite(pty, second, 2, 1000));
  ASSERT_EQ(aErrNone, readStream(buf, 4));
  EXPECT_EQ((std::vector<uint8_t>{0x10, 0x20, 0x30, 0x00}), std::vector<uint8_t>(buf, buf + 4));
}

// A wait ends when the other side writes, and runs out when it is silent.
TEST_F(SerialStream, WaitWakesOnDataAndTimesOutWhenSilent) {
  ASSERT_EQ(aErrNone, aStream_CreateSerial(path.c_str(), aSERIAL_BAUD_115200, 0, 0, 0, &stream));
  uint32_t start = aTime_GetMSTicks();
  EXPECT_EQ(aErrNotReady, aStream_Wait(stream, 50));
  EXPECT_GE(aTime_GetMSTicks() - start, 45u);
  aErr woken = aErrUnknown;
  uint32_t elapsed = 0;
  std::thread waiter([&] {
    uint32_t begin = aTime_GetMSTicks();
    woken = aStream_Wait(stream, 20000);
    elapsed = aTime_GetMSTicks() - begin;
  });
  const uint8_t byte = 0x5A;
  ASSERT_TRUE(platform::ptyWrite(pty, &byte, 1, 1000));
  waiter.join();
  EXPECT_EQ(aErrNone, woken);
  EXPECT_LT(elapsed, 10000u);
  uint8_t got = 0;
  ASSERT_EQ(aErrNone, readStream(&got, 1));
  EXPECT_EQ(0x5A, got);
}

TEST_F(SerialStream, ParameterErrors) {
  aStreamRef s = reinterpret_cast<aStreamRef>(1);
  EXPECT_EQ(aErrRange, aStream_CreateSerial(path.c_str(), 8, 0, 0, 0, &s));
  EXPECT_EQ(nullptr, s);
  EXPECT_EQ(aErrMode, aStream_CreateSerial(path.c_str(), 2, 0, 2, 0, &s));
  EXPECT_EQ(aErrMode, aStream_CreateSerial(path.c_str(), 2, 0, 0, 2, &s));
  EXPECT_EQ(aErrMode, aStream_CreateSerial(path.c_str(), 2, 5, 0, 0, &s));
  EXPECT_EQ(aErrParam, aStream_CreateSerial(nullptr, 2, 0, 0, 0, &s));
  EXPECT_EQ(aErrParam, aStream_CreateSerial(path.c_str(), 2, 0, 0, 0, nullptr));
  EXPECT_EQ(aErrIO, aStream_CreateSerial("/dev/no-such-port", 2, 0, 0, 0, &s));
  EXPECT_EQ(aErrIO, aStream_CreateSerial("/dev/null", 2, 0, 0, 0, &s));  // not a terminal
  EXPECT_EQ(nullptr, s);
}

TEST_F(SerialStream, PortIsExclusiveWhileOpen) {
  ASSERT_EQ(aErrNone, aStream_CreateSerial(path.c_str(), aSERIAL_BAUD_9600, 0, 0, 0, &stream));
  aStreamRef second = nullptr;
  EXPECT_EQ(aErrIO, aStream_CreateSerial(path.c_str(), aSERIAL_BAUD_9600, 0, 0, 0, &second));
  aStream_Destroy(&stream);
  ASSERT_EQ(aErrNone, aStream_CreateSerial(path.c_str(), aSERIAL_BAUD_9600, 0, 0, 0, &second));
  aStream_Destroy(&second);
}

TEST_F(SerialStream, FramingIsAppliedAndSettingsRestoredOnDestroy) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  struct termios before;
  ASSERT_EQ(0, tcgetattr(fd, &before));

  ASSERT_EQ(aErrNone, aStream_CreateSerial(path.c_str(), aSERIAL_BAUD_4800, 1, 1, 1, &stream));
  struct termios during;
  ASSERT_EQ(0, tcgetattr(fd, &during));
  // A pseudo-terminal always reports 8 bits without parity; what it keeps
  // is checked here.
  EXPECT_TRUE(during.c_cflag & CSTOPB);
  EXPECT_EQ(static_cast<speed_t>(B4800), cfgetospeed(&during));
  EXPECT_EQ(0u, during.c_lflag & (ICANON | ECHO));

  EXPECT_EQ(aErrNone, aStream_Destroy(&stream));
  struct termios after;
  ASSERT_EQ(0, tcgetattr(fd, &after));
  EXPECT_EQ(before.c_cflag, after.c_cflag);
  EXPECT_EQ(before.c_iflag, after.c_iflag);
  EXPECT_EQ(before.c_lflag, after.c_lflag);
  EXPECT_EQ(cfgetospeed(&before), cfgetospeed(&after));
  close(fd);
}

}  // namespace
