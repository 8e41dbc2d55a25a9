// How USB modules are named by the system: instance identifiers, serial-number
// text and the kernel driver's device name.
#include <gtest/gtest.h>

#include <string>

#include "platform/usb_identity.h"

namespace {

using platform::UsbInstanceId;

TEST(UsbInstanceId, ModuleIdentifierGivesVendorModelAndSerial) {
  UsbInstanceId id;
  ASSERT_TRUE(platform::usbParseInstanceId("USB\\VID_2A8B&PID_0013\\0000ABCD", &id));
  EXPECT_EQ(0x2A8B, id.vendorId);
  EXPECT_EQ(0x0013, id.productId);
  EXPECT_STREQ("0000ABCD", id.serial);
  EXPECT_FALSE(id.isInterface);
  // Any case; further hardware parts; an interface of a composite device.
  ASSERT_TRUE(platform::usbParseInstanceId("usb\\vid_2a8b&pid_00ff&rev_0100\\40f5849a", &id));
  EXPECT_EQ(0x00FF, id.productId);
  EXPECT_STREQ("40f5849a", id.serial);
  ASSERT_TRUE(platform::usbParseInstanceId("USB\\VID_2A8B&PID_0013&MI_01\\7&1a2b3c&0&0001", &id));
  EXPECT_TRUE(id.isInterface);
}

TEST(UsbInstanceId, MalformedIdentifiersAreRefused) {
  UsbInstanceId id;
  const char* bad[] = {
      "",
      "HID\\VID_2A8B&PID_0013\\0000ABCD",       // not a USB device
      "USB\\VID_2A8&PID_0013\\0000ABCD",        // three digits
      "USB\\VID_2A8G&PID_0013\\0000ABCD",       // not hex
      "USB\\PID_0013&VID_2A8B\\0000ABCD",       // wrong order
      "USB\\VID_2A8B&PID_0013",                 // no instance part
      "USB\\VID_2A8B&PID_0013\\",               // empty instance part
      "USB\\VID_2A8B&PID_0013\\A\\B",           // more than one instance part
  };
  for (const char* text : bad) EXPECT_FALSE(platform::usbParseInstanceId(text, &id)) << text;
  EXPECT_FALSE(platform::usbParseInstanceId(nullptr, &id));
  std::string longSerial = "USB\\VID_2A8B&PID_0013\\" + std::string(64, '1');
  EXPECT_FALSE(platform::usbParseInstanceId(longSerial.c_str(), &id));
}

TEST(UsbSerialText, HexDigitsOfTheSerialNumber) {
  EXPECT_TRUE(platform::usbSerialMatches("0000ABCD", 0xABCD));
  EXPECT_TRUE(platform::usbSerialMatches("abcd", 0xABCD));
  EXPECT_TRUE(platform::usbSerialMatches("FFFFFFFF", 0xFFFFFFFFu));
  EXPECT_FALSE(platform::usbSerialMatches("1FFFFFFFF", 0xFFFFFFFFu));  // nine digits
  EXPECT_FALSE(platform::usbSerialMatches("", 0));
  EXPECT_FALSE(platform::usbSerialMatches("00AB CD", 0xABCD));
  EXPECT_FALSE(platform::usbSerialMatches("0000ABCE", 0xABCD));
  EXPECT_FALSE(platform::usbSerialMatches(nullptr, 0));
  uint32_t value = 7;
  EXPECT_TRUE(platform::usbParseSerial("0012abCD", &value));
  EXPECT_EQ(0x12ABCDu, value);
  value = 7;
  EXPECT_FALSE(platform::usbParseSerial("0x12", &value));
  EXPECT_EQ(7u, value) << "refused text leaves the value alone";
}

TEST(UsbKernelDriver, DeviceNameCarriesTheSerialNumber) {
  char name[32];
  ASSERT_TRUE(platform::usbKernelDriverName(0x40F5849A, name, sizeof name));
  EXPECT_STREQ("\\\\.\\kelvarion.40F5849A", name);
  ASSERT_TRUE(platform::usbKernelDriverName(0x2A, name, sizeof name));
  EXPECT_STREQ("\\\\.\\kelvarion.0000002A", name);
  char small[10];
  EXPECT_FALSE(platform::usbKernelDriverName(0x2A, small, sizeof small));
}

}  // namespace
