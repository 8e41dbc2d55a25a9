// The device side of a simulated USB module on its own, without a bus: the
// answers to standard control requests and the usbfs rules for claims and
// URBs that the libusb tests rely on.
#include <gtest/gtest.h>

#include <cerrno>

#include "UsbDescriptors.h"
#include "UsbGadget.h"

namespace {

using simusb::Bytes;
using simusb::Urb;
using simusb::UrbDone;
using simusb::UsbGadget;

const uint64_t kHost = 1, kOther = 2;

Urb control(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, uint16_t length) {
  Urb urb;
  urb.owner = kHost;
  urb.id = 0x100;
  urb.type = simusb::kUrbControl;
  urb.length = 8 + length;
  urb.out = {requestType, request, static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
             static_cast<uint8_t>(index), static_cast<uint8_t>(index >> 8), static_cast<uint8_t>(length),
             static_cast<uint8_t>(length >> 8)};
  return urb;
}

Urb bulk(uint8_t endpoint, uint64_t id, size_t length, Bytes out = {}) {
  Urb urb;
  urb.owner = kHost;
  urb.id = id;
  urb.endpoint = endpoint;
  urb.length = length;
  urb.out = std::move(out);
  return urb;
}

UrbDone reaped(UsbGadget& gadget, uint64_t owner = kHost) {
  UrbDone done;
  EXPECT_EQ(0, gadget.reap(owner, &done, 0));
  return done;
}

TEST(UsbDescriptors, DeviceAndConfigurationCarryTheModulesIdentity) {
  const Bytes d = simusb::deviceDescriptors(simusb::moduleIdentity(0x0012ABCD, 19));
  ASSERT_EQ(18u + 9 + 9 + 3 * 7, d.size());
  EXPECT_EQ(0x7C, d[8]);  // vendor 0x3A7C, little-endian
  EXPECT_EQ(0x3A, d[9]);
  EXPECT_EQ(19, d[10]);  // product 0x0013: the model
  EXPECT_EQ(0x00, d[11]);
  EXPECT_EQ(3, d[16]);  // serial number string index
  EXPECT_EQ(d.size() - 18, static_cast<size_t>(d[18 + 2] | d[18 + 3] << 8));  // total length
  const uint8_t* iface = &d[27];
  EXPECT_EQ((Bytes{0xFF, 0x88, 0x10}), Bytes(iface + 5, iface + 8));
  EXPECT_EQ(0x81, d[36 + 2]);
  EXPECT_EQ(0x02, d[36 + 3]);  // bulk
  EXPECT_EQ(0x01, d[43 + 2]);
}

TEST(UsbGadget, ControlRequestsAnswerStringsAndStallTheUnknown) {
  UsbGadget gadget(simusb::moduleIdentity(0x0012ABCD, 19));
  ASSERT_EQ(0, gadget.submit(control(0x80, 6, 0x0303, 0x0409, 255)));
  UrbDone done = reaped(gadget);
  EXPECT_EQ(0, done.status);
  ASSERT_EQ(18u, done.actual);  // 2 + 8 UTF-16 characters
  EXPECT_EQ('0', done.in[8 + 2]);
  EXPECT_EQ('D', done.in[8 + 16]);
  // A request shorter than the descriptor gets its first bytes.
  ASSERT_EQ(0, gadget.submit(control(0x80, 6, 0x0303, 0x0409, 4)));
  EXPECT_EQ(4u, reaped(gadget).actual);
  // No such string, a vendor request: stalled.
  ASSERT_EQ(0, gadget.submit(control(0x80, 6, 0x0309, 0x0409, 255)));
  EXPECT_EQ(-EPIPE, reaped(gadget).status);
  ASSERT_EQ(0, gadget.submit(control(0xC0, 1, 0, 0, 4)));
  EXPECT_EQ(-EPIPE, reaped(gadget).status);
}

TEST(UsbGadget, OneClaimAtATimeAndTheConnectionEndsWithIt) {
  UsbGadget gadget(simusb::moduleIdentity(1, 19));
  EXPECT_EQ(ENOENT, gadget.claim(kHost, 1));
  ASSERT_EQ(0, gadget.claim(kHost, 0));
  const uint64_t connection = gadget.waitForConnection(0);
  EXPECT_NE(0u, connection);
  EXPECT_EQ(EBUSY, gadget.claim(kOther, 0));
  EXPECT_EQ(EINVAL, gadget.release(kOther, 0));
  Urb foreign = bulk(0x01, 1, 1, {7});
  foreign.owner = kOther;
  EXPECT_EQ(EINVAL, gadget.submit(foreign));  // only the claimer moves data
  gadget.ownerGone(kHost);
  uint8_t byte;
  EXPECT_EQ(-1, gadget.readFromHost(connection, &byte, 1, 0));
  EXPECT_FALSE(gadget.writeToHost(connection, &byte, 1));
  ASSERT_EQ(0, gadget.claim(kOther, 0));
  EXPECT_NE(connection, gadget.waitForConnection(0));
}

TEST(UsbGadget, InTransfersEndShortOrFullAndInOrder) {
  UsbGadget gadget(simusb::moduleIdentity(1, 19));
  ASSERT_EQ(0, gadget.claim(kHost, 0));
  const uint64_t connection = gadget.waitForConnection(0);
  ASSERT_EQ(0, gadget.submit(bulk(0x81, 1, 4)));
  ASSERT_EQ(0, gadget.submit(bulk(0x81, 2, 4)));
  UrbDone done;
  EXPECT_EQ(EAGAIN, gadget.reap(kHost, &done, 0));
  const uint8_t bytes[6] = {1, 2, 3, 4, 5, 6};
  ASSERT_TRUE(gadget.writeToHost(connection, bytes, 6));
  done = reaped(gadget);
  EXPECT_EQ(1u, done.id);
  EXPECT_EQ((Bytes{1, 2, 3, 4}), done.in);
  done = reaped(gadget);
  EXPECT_EQ(2u, done.id);
  EXPECT_EQ((Bytes{5, 6}), done.in);
  EXPECT_EQ(2u, done.actual);
}

TEST(UsbGadget, DiscardAndRemovalHandBackTheUrbsOut) {
  UsbGadget gadget(simusb::moduleIdentity(1, 19));
  ASSERT_EQ(0, gadget.claim(kHost, 0));
  ASSERT_EQ(0, gadget.submit(bulk(0x81, 1, 64)));
  ASSERT_EQ(0, gadget.submit(bulk(0x81, 2, 64)));
  EXPECT_EQ(EINVAL, gadget.discard(kOther, 1));
  ASSERT_EQ(0, gadget.discard(kHost, 1));
  EXPECT_EQ(-ENOENT, reaped(gadget).status);
  EXPECT_EQ(EINVAL, gadget.discard(kHost, 1));  // reaped already

  gadget.unplug();
  UrbDone done = reaped(gadget);
  EXPECT_EQ(2u, done.id);
  EXPECT_EQ(-ENODEV, done.status);
  EXPECT_EQ(ENODEV, gadget.reap(kHost, &done, 0));
  EXPECT_EQ(ENODEV, gadget.submit(bulk(0x81, 3, 64)));
  EXPECT_EQ(ENODEV, gadget.claim(kHost, 0));
}

TEST(UsbGadget, HaltedEndpointFailsUntilCleared) {
  UsbGadget gadget(simusb::moduleIdentity(1, 19));
  ASSERT_EQ(0, gadget.claim(kHost, 0));
  gadget.haltEndpoint(0x01);
  ASSERT_EQ(0, gadget.submit(bulk(0x01, 1, 1, {9})));
  EXPECT_EQ(-EPIPE, reaped(gadget).status);
  ASSERT_EQ(0, gadget.clearHalt(0x01));
  ASSERT_EQ(0, gadget.submit(bulk(0x01, 2, 1, {9})));
  EXPECT_EQ(0, reaped(gadget).status);
}

}  // namespace
