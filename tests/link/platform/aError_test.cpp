#include <gtest/gtest.h>

#include "aError.h"

TEST(aError, NamesAndDescriptionsOutsideTheTableAreUnknown) {
  EXPECT_STREQ(aError_GetErrorText(aErrNone), "aErrNone");
  EXPECT_STREQ(aError_GetErrorText(aErrUnknown), "aErrUnknown");
  EXPECT_STREQ(aError_GetErrorText(35), "aErrUnknown");
  EXPECT_STREQ(aError_GetErrorText(-1), "aErrUnknown");
  EXPECT_STREQ(aError_GetErrorDescription(27), "Kelvarion command to short");
  EXPECT_STREQ(aError_GetErrorDescription(35), "Unknown error");
}
