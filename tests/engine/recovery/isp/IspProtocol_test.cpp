// The I/O-free pieces of the serial ISP protocol.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "recovery/isp/IspProtocol.h"
#include "recovery/isp/NXPSerialISP.h"

TEST(IspProtocol, RequestedRatesRoundToTheTable) {
  struct Case {
    uint32_t requested, rate, index;
  } cases[] = {{0, 2400, 0},        {2400, 2400, 0},     {2401, 4800, 1},  {9600, 9600, 2},
               {115200, 115200, 6}, {115201, 230400, 7}, {230400, 230400, 7}, {230401, 9600, 2},
               {460800, 9600, 2}};
  for (const Case& c : cases) {
    uint32_t index = 99;
    EXPECT_EQ(c.rate, ispRoundRate(c.requested, &index)) << c.requested;
    EXPECT_EQ(c.index, index) << c.requested;
  }
}

TEST(IspProtocol, SectorsAndCopyLengthsAtTheirEdges) {
  NXPSerialISP isp;
  EXPECT_EQ(0u, isp.sectorOf(0));
  EXPECT_EQ(1u, isp.sectorOf(0x1000));
  EXPECT_EQ(15u, isp.sectorOf(0xFFFF));
  EXPECT_EQ(16u, isp.sectorOf(0x10000));
  EXPECT_EQ(17u, isp.sectorOf(0x18000));
  EXPECT_EQ(29u, isp.sectorOf(0x7FFFF));
  EXPECT_EQ(30u, isp.sectorOf(0x80000));
  EXPECT_EQ(30u, isp.sectorOf(0xFFFFFFFF));

  EXPECT_EQ(256u, isp.copyLength(1));
  EXPECT_EQ(256u, isp.copyLength(256));
  EXPECT_EQ(512u, isp.copyLength(257));
  EXPECT_EQ(1024u, isp.copyLength(1000));
  EXPECT_EQ(4096u, isp.copyLength(1025));
  EXPECT_EQ(4096u, isp.copyLength(4096));
  EXPECT_EQ(5000u, isp.copyLength(5000));
  // Refused before anything is sent (the client is not even open).
  EXPECT_EQ(aErrParam, isp.copyRamToFlash(0, 0x10001000, 5000));
  EXPECT_EQ(aErrParam, isp.copyRamToFlash(0x80, 0x10001000, 256));
  EXPECT_EQ(aErrParam, isp.copyRamToFlash(0, 0x10001000, 300));
  EXPECT_EQ(aErrParam, isp.prepareSectors(3, 2));
  EXPECT_EQ(aErrParam, isp.eraseSectors(3, 2));
  const uint8_t data[8] = {};
  EXPECT_EQ(aErrParam, isp.Write(0x10001000, 0, data));
  EXPECT_EQ(aErrParam, isp.Write(0x10001000, 6, data));
}

TEST(IspProtocol, UuLines) {
  const uint8_t zeros[3] = {0, 0, 0};
  char line[80];
  ASSERT_EQ(5u, ispUuEncodeLine(zeros, 3, line));
  EXPECT_EQ(std::string("\x23\x60\x60\x60\x60"), line);

  // "Cat" is the classic example: length 3 then "0V%T".
  ASSERT_EQ(5u, ispUuEncodeLine(reinterpret_cast<const uint8_t*>("Cat"), 3, line));
  EXPECT_STREQ("#0V%T", line);

  // A short last group is padded with zero bits; a full line is 61 characters.
  const uint8_t four[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  ASSERT_EQ(9u, ispUuEncodeLine(four, 4, line));
  EXPECT_STREQ("$_____P``", line);
  uint8_t full[45];
  memset(full, 0x41, sizeof full);
  EXPECT_EQ(61u, ispUuEncodeLine(full, 45, line));
  EXPECT_EQ('M', line[0]);
  EXPECT_EQ(61u, ispUuLineLength(45));

  const uint8_t bytes[] = {1, 2, 250, 255};
  EXPECT_EQ(508u, ispChecksum(bytes, 4));
}

TEST(IspProtocol, StatusIsTheWholeNumberOnTheLine) {
  long status = -1;
  // Echo off: the number at the start.
  EXPECT_TRUE(ispParseStatus("0\r\n", 3, false, &status));
  EXPECT_EQ(0, status);
  EXPECT_TRUE(ispParseStatus("10\r\n", 4, false, &status));
  EXPECT_EQ(10, status);
  EXPECT_TRUE(ispParseStatus("\n19\r\n", 5, false, &status));
  EXPECT_EQ(19, status);
  EXPECT_TRUE(ispParseStatus("0x0A\r\n", 6, false, &status));
  EXPECT_EQ(10, status);
  // Echo on: the number just before the line end, also after echo residue.
  EXPECT_TRUE(ispParseStatus("0\r\n", 3, true, &status));
  EXPECT_EQ(0, status);
  EXPECT_TRUE(ispParseStatus("10\r\n", 4, true, &status));
  EXPECT_EQ(10, status);
  EXPECT_TRUE(ispParseStatus("P 0 29\r0\r\n", 10, true, &status));
  EXPECT_EQ(0, status);
  EXPECT_TRUE(ispParseStatus("C 0 268439552 256\r\n10\r\n", 23, true, &status));
  EXPECT_EQ(10, status);
  // Nothing to judge: no number, a number with trailing garbage, an empty line.
  EXPECT_FALSE(ispParseStatus("", 0, false, &status));
  EXPECT_FALSE(ispParseStatus("\r\n", 2, true, &status));
  EXPECT_FALSE(ispParseStatus("OK\r\n", 4, false, &status));
  EXPECT_FALSE(ispParseStatus("0junk\r\n", 7, false, &status));
  EXPECT_FALSE(ispParseStatus("99999999999999999999999\r\n", 25, false, &status));
}

TEST(IspProtocol, StatusNames) {
  EXPECT_STREQ("CMD_SUCCESS", ispStatusName(0));
  EXPECT_STREQ("COMPARE_ERROR", ispStatusName(10));
  EXPECT_STREQ("CODE_READ_PROTECTION_ENABLED", ispStatusName(19));
  EXPECT_STREQ("Unknown error", ispStatusName(20));
  EXPECT_STREQ("Unknown error", ispStatusName(-1));
}

TEST(IspProtocol, DiagnosticForms) {
  EXPECT_EQ("55 0D 0A", ispHexBytes("U\r\n", 3));
  EXPECT_EQ("U\\r\\n", ispPrintable("U\r\n", 3, true));
  EXPECT_EQ("U  ", ispPrintable("U\r\n", 3, false));
  // The Part's pacing: a full data line waits 5 ms at 115200, its line end 1 ms.
  EXPECT_EQ(5, static_cast<int>(ispSendTimeMs(61, 115200) + 1));
  EXPECT_EQ(1, static_cast<int>(ispSendTimeMs(2, 115200) + 1));
}
