// The USB tests make umockdev test beds in this process: it runs with
// umockdev's preload library so that the beds' hot-plug events reach the
// programs started inside them.
#include <gtest/gtest.h>

#include "UsbRun.h"

int main(int argc, char** argv) {
  simusb::restartWithPreload(argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
