// Serial-number text of the -d and -r options: hexadecimal digits of either
// case, at the edges of 32 bits; the "0x" prefix is the caller's to drop.
#include <gtest/gtest.h>

#include "SerialNumber.h"

namespace {

TEST(SerialNumber, WholeTextTakesHexadecimalDigitsUpTo32Bits) {
  uint32_t value = 7;
  EXPECT_TRUE(parseSerialNumber("40f5849a", &value));
  EXPECT_EQ(0x40F5849Au, value);
  EXPECT_TRUE(parseSerialNumber("40F5849A", &value));
  EXPECT_EQ(0x40F5849Au, value);
  EXPECT_TRUE(parseSerialNumber("FFFFFFFF", &value));
  EXPECT_EQ(0xFFFFFFFFu, value);
  // Leading zeros past eight digits still fit.
  EXPECT_TRUE(parseSerialNumber("000000000001", &value));
  EXPECT_EQ(1u, value);
  EXPECT_TRUE(parseSerialNumber("0", &value));
  EXPECT_EQ(0u, value);

  value = 7;
  for (const char* text : {"", "100000000", "FFFFFFFFF", "0x12", "0X12", " 12", "12 ", "12g", "-1",
                           "+1", "1 2", "zz"}) {
    EXPECT_FALSE(parseSerialNumber(text, &value)) << text;
  }
  EXPECT_EQ(7u, value) << "a refused text leaves the value alone";
  EXPECT_FALSE(parseSerialNumber(std::string("12\0" "34", 5), &value)) << "an embedded NUL is refused";
}

TEST(SerialNumber, PrefixAndDigits) {
  EXPECT_TRUE(hasHexPrefix("0x"));
  EXPECT_TRUE(hasHexPrefix("0X1"));
  EXPECT_FALSE(hasHexPrefix("x1"));
  EXPECT_FALSE(hasHexPrefix("0"));
  EXPECT_FALSE(hasHexPrefix("00x1"));
  EXPECT_FALSE(hasHexPrefix(""));

  EXPECT_EQ(0, hexDigitValue('0'));
  EXPECT_EQ(9, hexDigitValue('9'));
  EXPECT_EQ(10, hexDigitValue('a'));
  EXPECT_EQ(15, hexDigitValue('F'));
  // The neighbours of the digit ranges in ASCII, and bytes past it.
  for (char c : std::string("gG/:@`[{ \0", 10)) EXPECT_EQ(-1, hexDigitValue(c)) << static_cast<int>(c);
  EXPECT_EQ(-1, hexDigitValue(static_cast<char>(0xC1)));
}

}  // namespace
