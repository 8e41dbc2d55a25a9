// Build-number text: the whole-text form of the -b option and the leading
// form of the update server's lines, at the edges of 32 bits.
#include <gtest/gtest.h>

#include "BuildNumber.h"

namespace {

TEST(BuildNumber, WholeTextTakesDigitsOnlyUpTo32Bits) {
  uint32_t value = 7;
  EXPECT_TRUE(parseBuildNumber("0", &value));
  EXPECT_EQ(0u, value);
  EXPECT_TRUE(parseBuildNumber("4294967295", &value));
  EXPECT_EQ(4294967295u, value);
  EXPECT_TRUE(parseBuildNumber("000000000042", &value));
  EXPECT_EQ(42u, value);

  value = 7;
  for (const char* text : {"", "4294967296", "99999999999999999999", " 12", "12 ", "12a", "-1",
                           "+1", "0x10"}) {
    EXPECT_FALSE(parseBuildNumber(text, &value)) << text;
  }
  EXPECT_EQ(7u, value) << "a refused text leaves the value alone";
}

TEST(BuildNumber, LeadingFormSkipsBlanksAndStopsAtTheFirstOtherCharacter) {
  uint32_t value = 0;
  EXPECT_TRUE(readLeadingBuildNumber("12;Release 1.2", &value));
  EXPECT_EQ(12u, value);
  EXPECT_TRUE(readLeadingBuildNumber(" \t\r\n 99\r", &value));
  EXPECT_EQ(99u, value);
  EXPECT_TRUE(readLeadingBuildNumber("4294967295x", &value));
  EXPECT_EQ(4294967295u, value);

  value = 7;
  for (const char* text : {"", "   ", "x12", ";12", "4294967296", "-3"}) {
    EXPECT_FALSE(readLeadingBuildNumber(text, &value)) << text;
  }
  EXPECT_EQ(7u, value);
  EXPECT_EQ(0u, buildNumberOrZero("4294967296"));
  EXPECT_EQ(31u, buildNumberOrZero("31\r"));
}

TEST(BuildNumber, DigitsAndFileNames) {
  EXPECT_TRUE(isDecimalDigits("99999999999999999999"));
  EXPECT_FALSE(isDecimalDigits(""));
  EXPECT_FALSE(isDecimalDigits("1 2"));
  EXPECT_EQ("0.bird", buildFileName(0));
  // Builds past the range of int are read whole, not clamped.
  EXPECT_EQ(3000000000u, buildOfFileName("3000000000.bird"));
  EXPECT_EQ(17u, buildOfFileName("17.bird"));
  EXPECT_EQ(0u, buildOfFileName(""));
  EXPECT_EQ(0u, buildOfFileName("-5.bird"));
  EXPECT_EQ(0u, buildOfFileName("4294967296.bird"));
  EXPECT_EQ("4294967295.bird", buildFileName(4294967295u));
}

}  // namespace
