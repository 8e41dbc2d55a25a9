// The ISP client against a scripted loader: the answers are put on a
// pseudo-terminal before each call, so odd and hostile replies can be shaped
// byte by byte.
#include <gtest/gtest.h>

#include <string>

#include "platform/serial.h"
#include "recovery/isp/NXPSerialISP.h"

namespace {

class ScriptedLoader : public ::testing::Test {
 protected:
  void SetUp() override {
    pty = platform::ptyOpen();
    ASSERT_NE(nullptr, pty);
    ASSERT_EQ(aErrNone, isp.open(platform::ptySlavePath(pty), 115200));
  }
  void TearDown() override {
    isp.close();
    platform::ptyClose(pty);
  }
  // Queues the loader's answer for the next call and drops what the client
  // sent before.
  void answer(const std::string& bytes) {
    uint8_t drain[4096];
    while (platform::ptyRead(pty, drain, sizeof drain, 0) > 0) {
    }
    ASSERT_TRUE(platform::ptyWrite(pty, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), 1000));
  }
  platform::Pty* pty = nullptr;
  NXPSerialISP isp;
};

}  // namespace

TEST_F(ScriptedLoader, SyncToleratesStrayBytesBeforeReplies) {
  answer(std::string("\0\r\nSynchronized\r\nSynchronized\r\n\nOK\r\n14746\r\nOK\r\n", 47));
  EXPECT_EQ(aErrNone, isp.sync());
}

TEST_F(ScriptedLoader, SyncFailsWhenTheLastReplyIsNotOk) {
  answer("Synchronized\r\nSynchronized\r\nOK\r\n14746\r\nNO\r\n");
  EXPECT_NE(aErrNone, isp.sync());
}

TEST_F(ScriptedLoader, StatusLinesAreJudgedWhole) {
  answer("U 23130\r\n0\r\n");
  EXPECT_EQ(aErrNone, isp.unlock());
  answer("U 23130\r\n10\r\n");
  EXPECT_EQ(aErrParam, isp.unlock());
  answer("U 23130\r\n0junk\r\n");
  EXPECT_EQ(aErrParam, isp.unlock());
  answer("u 23130\r\n0\r\n");  // a wrong echo does not swallow the status
  EXPECT_EQ(aErrNone, isp.unlock());
  answer("A 0\r\n0\r\n");
  ASSERT_EQ(aErrNone, isp.setEcho(false));
  answer("10\r\n");
  EXPECT_EQ(aErrParam, isp.prepareSectors(0, 29));
  answer("0\r\n");
  EXPECT_EQ(aErrNone, isp.eraseSectors(0, 29));
}

TEST_F(ScriptedLoader, GarbledSerialNumberLeavesTheWordsUntouched) {
  answer("N\r\n0\r\n1\r\n0x2\r\n3\r\n4\r\n");
  ASSERT_EQ(aErrNone, isp.readSerialNumber());
  EXPECT_EQ(2u, isp.serialNumber()[1]);
  answer("N\r\n0\r\n5\r\n6\r\nzz\r\n8\r\n");
  EXPECT_EQ(aErrParse, isp.readSerialNumber());
  EXPECT_EQ(1u, isp.serialNumber()[0]);
  answer("N\r\n1\r\n");
  EXPECT_EQ(aErrParam, isp.readSerialNumber());
}

TEST_F(ScriptedLoader, UnexpectedChecksumReplyEndsTheWrite) {
  answer("A 0\r\n0\r\n");
  ASSERT_EQ(aErrNone, isp.setEcho(false));
  const uint8_t data[4] = {1, 2, 3, 4};
  answer("0\r\nWHAT\r\n");
  EXPECT_EQ(aErrIO, isp.Write(0x10001000, 4, data));
  answer("0\r\nRESEND\r\nRESEND\r\nOK\r\n");
  EXPECT_EQ(aErrNone, isp.Write(0x10001000, 4, data));
  answer("19\r\n");
  EXPECT_EQ(aErrParam, isp.Write(0x10001000, 4, data));
}
