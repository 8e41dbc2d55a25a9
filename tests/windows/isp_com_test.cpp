// The serial ISP client on a COM port whose far end is the simulated boot
// loader (see com_port_test.py --simisp): synchronising, the serial number,
// and erasing a sector, as recovery does on a Windows machine.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "recovery/isp/NXPSerialISP.h"

namespace {

TEST(IspOnComPort, SynchronisesReadsTheSerialNumberAndErases) {
  const char* port = getenv("KLV_TEST_COM_PORT");
  ASSERT_NE(nullptr, port) << "KLV_TEST_COM_PORT is not set";
  NXPSerialISP isp;
  ASSERT_EQ(aErrNone, isp.open(port, 115200));
  ASSERT_EQ(aErrNone, isp.sync());
  ASSERT_EQ(aErrNone, isp.readSerialNumber());
  // The simulator's default identifier.
  const uint32_t expected[4] = {0x12345678, 0x9ABCDEF0, 0x0F1E2D3C, 0x4B5A6978};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(expected[i], isp.serialNumber()[i]) << i;
  EXPECT_EQ(aErrNone, isp.setEcho(false));
  EXPECT_EQ(aErrNone, isp.unlock());
  EXPECT_EQ(aErrNone, isp.prepareSectors(1, 1));
  EXPECT_EQ(aErrNone, isp.eraseSectors(1, 1));
  EXPECT_EQ(aErrNone, isp.close());
}

}  // namespace
