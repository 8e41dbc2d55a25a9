// The serial download loader over the real HID library (its libusb backend)
// against the simulated boot loader on the umockdev bus: the HID device is
// found by vendor and product, loader images are written with WRITE_FILE and
// the loader is started with JUMP_ADDRESS.
#include <gtest/gtest.h>

#include <vector>

#include "HID_SDPLoader.h"
#include "SDPClient.h"
#include "UsbBed.h"
#include "UsbBootLoader.h"

namespace {

TEST(UsbHid, SerialDownloadThroughTheHidLibraryWritesAndStartsTheLoader) {
  SKIP_WITHOUT_UMOCKDEV();
  UsbBed usb;
  ASSERT_TRUE(usb.bed->ok()) << usb.bed->error();
  UsbBootLoader bootLoader;
  std::vector<simsdp::WrittenBlock> written;
  bootLoader.hid.device().onWrite = [&](const simsdp::WrittenBlock& block) { written.push_back(block); };
  ASSERT_NE(0, usb.plug(bootLoader.gadget));

  std::vector<uint8_t> image(3000);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 13 + 5);
  {
    SDPClient client;
    ASSERT_TRUE(client.setLoader(std::unique_ptr<SDPLoader_Interface>(new HID_SDPLoader(0x1FC9, 0x0130))));
    ASSERT_TRUE(client.open());
    EXPECT_EQ(SDPClient::kWriteOk, client.writeFile(image, 0x20000400));
    client.jumpAddress(0x20000400);
  }
  uint32_t address = 0;
  ASSERT_TRUE(bootLoader.waitForJump(20000, &address));
  EXPECT_EQ(0x20000400u, address);
  ASSERT_EQ(1u, written.size());
  EXPECT_EQ(0x20000400u, written[0].address);
  EXPECT_EQ(image, written[0].bytes);
}

TEST(UsbHid, NoBootLoaderOnTheBusIsNotOpened) {
  SKIP_WITHOUT_UMOCKDEV();
  UsbBed usb;
  ASSERT_TRUE(usb.bed->ok()) << usb.bed->error();
  ASSERT_TRUE(usb.add(moduleConfig(0x0012ABCD, 19)));  // a module, but no boot loader
  HID_SDPLoader loader(0x1FC9, 0x0130);
  EXPECT_FALSE(loader.open());
}

}  // namespace
