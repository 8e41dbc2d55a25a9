// The -D listing printed line by line: USB and TCP/IP rows, their error
// lines, and empty listings.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DeviceList.h"
#include "Listings.h"
#include "RecordingDisplay.h"

namespace {

DeviceListEntry entry(linkType type, uint32_t serial, uint8_t module, uint8_t router, uint8_t model,
                      uint32_t version, uint32_t build) {
  DeviceListEntry e;
  e.spec.type = type;
  e.spec.serialNumber = serial;
  e.spec.module = module;
  e.spec.router = router;
  e.spec.model = model;
  const uint8_t ip[4] = {192, 168, 7, 31};
  if (type == LINKTYPE_TCPIP) std::memcpy(&e.spec.ipAddress, ip, 4);
  e.versionMajor = static_cast<uint8_t>(version >> 28);
  e.versionMinor = static_cast<uint8_t>((version >> 24) & 0xF);
  e.versionPatch = version & 0xFFFFFF;
  e.build = build;
  return e;
}

}  // namespace

TEST(DeviceList, UsbListing) {
  RecordingDisplay display;
  DeviceListEntry failed = entry(LINKTYPE_USB, 0x0012ABCD, 0, 0, 19, 0, 0);
  failed.error = aErrConnection;
  printDeviceList(&display, {entry(LINKTYPE_USB, 0x40F5849A, 2, 2, 19, 0x2300002A, 4711), failed,
                             entry(LINKTYPE_USB, 0xDEAD0001, 4, 2, 25, 0x10000001, 0)},
                  LINKTYPE_USB);
  std::vector<std::string> expected = {
      "Discovered Devices: (USB)",
      "    Device    Module   Router  Model          Firmware Version (Build)",
      "    40F5849A  02       02      Ironwood       2.3.42 (4711)",
      "    0012ABCD  [Error (25): Is someone else connected to this device?]",
      "    DEAD0001  04       02      Unknown        1.0.1 (0)",
  };
  EXPECT_EQ(expected, display.printed("error: "));
}

TEST(DeviceList, TcpipRowKeepsItsLayoutAndTheFailedReadGoesToTheErrorStream) {
  RecordingDisplay display;
  DeviceListEntry e = entry(LINKTYPE_TCPIP, 0x1234, 6, 6, 5, 0xA100FFFF, 123456);
  e.error = aErrTimeout;
  e.unread = "the router address could not be read";
  DeviceListEntry silent = entry(LINKTYPE_TCPIP, 0x5678, 0, 0, 5, 0, 0);
  silent.error = aErrConnection;
  silent.unread = "the connection could not be made";
  DeviceListEntry noBuild = entry(LINKTYPE_TCPIP, 0x9ABC, 2, 2, 5, 0x10000001, 0);
  noBuild.unread = "the build number could not be read";
  printDeviceList(&display, {e, silent, noBuild}, LINKTYPE_TCPIP);
  std::vector<std::string> expected = {
      "Discovered Devices: (TCPIP)",
      "    Device    Module   Router  Model          Firmware Version (Build)   [IP address]",
      "    00001234  06       06      Birch         10.1.65535 (123456) [192.168.7.31]",
      "error: Module 00001234 [192.168.7.31]: the router address could not be read (aErrTimeout)",
      "    00005678  00       00      Birch          0.0.0 (0) [192.168.7.31]",
      "error: Module 00005678 [192.168.7.31]: the connection could not be made (aErrConnection)",
      "    00009ABC  02       02      Birch          1.0.1 (0) [192.168.7.31]",
      "error: Module 00009ABC [192.168.7.31]: the build number could not be read",
  };
  EXPECT_EQ(expected, display.printed("error: "));
}

TEST(DeviceList, EmptyListings) {
  for (int type : {1, 2, 0, 255}) {
    RecordingDisplay display;
    printDeviceList(&display, {}, type);
    const char* name = type == 1 ? "USB" : type == 2 ? "TCPIP" : "Unknown";
    const std::vector<std::string> lines = display.printed("error: ");
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(std::string("Discovered Devices: (") + name + ")", lines[0]);
    EXPECT_EQ("    No devices found.", lines[1]);
  }
}
