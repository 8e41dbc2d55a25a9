#include <gtest/gtest.h>

#include "aVersion.h"

TEST(aVersion, PackedWordFields) {
  char text[15];
  EXPECT_EQ(aVersion_ParseString(0x1200000F, text, sizeof text), 6);
  EXPECT_STREQ(text, "1.2.15");
  EXPECT_EQ(aVersion_ParseString(0xFFFFFFFF, text, sizeof text), 14);
  EXPECT_STREQ(text, "15.15.16777215");
  EXPECT_EQ(aVersion_ParseMajor(0xA5123456), 10);
  EXPECT_EQ(aVersion_ParseMinor(0xA5123456), 5);
  EXPECT_EQ(aVersion_ParsePatch(0xA5123456), 0x123456u);
  char small[6];
  EXPECT_EQ(aVersion_ParseString(0x1200000F, small, sizeof small), -1);
}

TEST(aVersion, LibraryVersionAndComparisons) {
  EXPECT_STREQ(aVersion_GetString(), "2.9.26");
  EXPECT_EQ(aVersion_GetString(), aVersion_GetString());
  EXPECT_TRUE(aVersion_IsAtLeast(2, 9, 26));
  EXPECT_FALSE(aVersion_IsAtLeast(2, 9, 27));
  EXPECT_FALSE(aVersion_IsAtLeast(2, 10, 0));
  EXPECT_TRUE(aVersion_IsAtLeast(1, 99, 99));
  EXPECT_FALSE(aVersion_IsAtLeast(3, 0, 0));
  EXPECT_TRUE(aVersion_IsAtLeastCompare(1, 0, 300, 1, 0, 299));
  EXPECT_FALSE(aVersion_IsAtLeastCompare(1, 0, 256, 1, 0, 300));
  EXPECT_TRUE(aVersion_IsAtLeastCompare(200, 0, 0, 100, 255, 1000));
}

TEST(aVersion, Features) {
  EXPECT_TRUE(aVersion_HasFeature("VERSION"));
  EXPECT_FALSE(aVersion_HasFeature("version"));
  EXPECT_FALSE(aVersion_HasFeature(nullptr));
  char* list = aVersion_GetFeatureList();
  ASSERT_NE(list, nullptr);
  EXPECT_STREQ(list, "VERSION - Version Query API");
  EXPECT_EQ(aVersion_DestroyFeatureList(&list), aErrNone);
  EXPECT_EQ(list, nullptr);
}
