// Store slots and factory data through the Link: loads in chunks with their
// checksums, unloads, sizes, and their failures.
#include <cstring>

#include "LinkExchange.h"

// ---- Store slots -----------------------------------------------------------------------

TEST_F(LinkExchange, LoadInChunksOf25WithChecksums) {
  simmodule::setStoreSlot(device(), 0, 1, {}, 1000);
  std::vector<uint8_t> data(26);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(200 + i);
  ASSERT_EQ(aErrNone, link->loadStoreSlot(2, 0, 1, data.data(), 26));
  std::vector<Bytes> sent = requests();
  ASSERT_EQ(4u, sent.size());
  EXPECT_EQ((Bytes{4, 4, 0, 1}), sent[0]);
  EXPECT_EQ(28u, sent[1].size());
  EXPECT_EQ((Bytes{4, 7, 1, 225}), sent[2]);
  EXPECT_EQ((Bytes{4, 8, 1}), sent[3]);
  std::vector<uint8_t> stored;
  ASSERT_TRUE(simmodule::getStoreSlot(device(), 0, 1, &stored));
  EXPECT_EQ(data, stored);
  // Nothing to load: the slot is opened and closed.
  ASSERT_EQ(aErrNone, link->loadStoreSlot(2, 0, 1, nullptr, 0));
  sent = requests();
  ASSERT_EQ(2u, sent.size());
  EXPECT_EQ(8, sent[1][1]);
}

TEST_F(LinkExchange, LoadFailures) {
  std::vector<uint8_t> data(30, 1);
  EXPECT_EQ(aErrMedia, link->loadStoreSlot(2, 5, 5, data.data(), 30));  // no such slot
  EXPECT_EQ(1u, requests().size());
  simmodule::setStoreSlot(device(), 0, 1, {}, 1000);
  // A checksum that does not match ends the transfer; the slot is closed anyway.
  simmodule::scriptReplies(device(), 4, {{4, 4, 0, 1, 9}});
  simmodule::scriptReplies(device(), 4, {{4, 7, 9, 0}});
  simmodule::scriptReplies(device(), 4, {{4, 8, 9, 0}});
  EXPECT_EQ(aErrIO, link->loadStoreSlot(2, 0, 1, data.data(), 30));
  std::vector<Bytes> sent = requests();
  ASSERT_EQ(3u, sent.size());
  EXPECT_EQ((Bytes{4, 8, 9}), sent[2]);
  // A slot too small for the data: the module's overrun code.
  simmodule::setStoreSlot(device(), 0, 2, {}, 10);
  EXPECT_EQ(aErrOverrun, link->loadStoreSlot(2, 0, 2, data.data(), 30));
}

TEST_F(LinkExchange, UnloadIntoSmallerBufferIsOverrun) {
  std::vector<uint8_t> content(40);
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>(i);
  simmodule::setStoreSlot(device(), 2, 3, content, 100);
  uint8_t buffer[64];
  uint32_t count = 0;
  ASSERT_EQ(aErrNone, link->unloadStoreSlot(2, 2, 3, buffer, sizeof buffer, &count));
  EXPECT_EQ(40u, count);
  EXPECT_EQ(0, std::memcmp(buffer, content.data(), 40));
  std::memset(buffer, 0, sizeof buffer);
  EXPECT_EQ(aErrOverrun, link->unloadStoreSlot(2, 2, 3, buffer, 30, &count));
  EXPECT_EQ(30u, count);
  EXPECT_EQ(0, std::memcmp(buffer, content.data(), 30));
  EXPECT_EQ(0, buffer[30]);
}

TEST_F(LinkExchange, SizeCapacityAndTheirFailures) {
  simmodule::setStoreSlot(device(), 1, 1, std::vector<uint8_t>(300, 7), 0x1234);
  uint32_t n = 0;
  EXPECT_EQ(aErrNone, link->storeSlotSize(2, 1, 1, &n));
  EXPECT_EQ(300u, n);
  EXPECT_EQ(aErrNone, link->storeSlotCapacity(2, 1, 1, &n));
  EXPECT_EQ(0x1234u, n);
  EXPECT_EQ(aErrNotFound, link->storeSlotSize(2, 1, 9, &n));
  simmodule::scriptReplies(device(), 4, {{4, 2, 1, 1, 0}});
  EXPECT_EQ(aErrUnknown, link->storeSlotSize(2, 1, 1, &n));
  // No reply is a time-out, not success.
  simmodule::scriptReplies(device(), 4, {});
  n = 77;
  EXPECT_EQ(aErrTimeout, link->storeSlotCapacity(2, 1, 1, &n));
  EXPECT_EQ(77u, n);
  // An open reply without its handle byte opens nothing.
  simmodule::scriptReplies(device(), 4, {{4, 2, 1, 1, 0, 5}});
  simmodule::scriptReplies(device(), 4, {{4, 3, 1, 1}});
  uint8_t buffer[8];
  EXPECT_EQ(aErrMedia, link->unloadStoreSlot(2, 1, 1, buffer, sizeof buffer, &n));
}

TEST_F(LinkExchange, UnloadReadFailures) {
  simmodule::setStoreSlot(device(), 1, 1, std::vector<uint8_t>(10, 7), 100);
  uint8_t buffer[16];
  uint32_t count = 5;
  simmodule::scriptReplies(device(), 4, {{4, 2, 1, 1, 0, 10}});
  simmodule::scriptReplies(device(), 4, {{4, 3, 1, 1, 4}});
  simmodule::scriptReplies(device(), 4, {{4, 6, 4}});  // no data: not a read reply
  simmodule::scriptReplies(device(), 4, {{4, 8, 4, 0}});
  EXPECT_EQ(aErrUnknown, link->unloadStoreSlot(2, 1, 1, buffer, sizeof buffer, &count));
  EXPECT_EQ(0u, count);
  simmodule::scriptReplies(device(), 4, {{4, 2, 1, 1, 0, 10}});
  simmodule::scriptReplies(device(), 4, {{4, 3, 1, 1, 4}});
  simmodule::scriptReplies(device(), 4, {{4, 0x86, 4, aErrIO}});
  simmodule::scriptReplies(device(), 4, {{4, 8, 4, 0}});
  EXPECT_EQ(aErrIO, link->unloadStoreSlot(2, 1, 1, buffer, sizeof buffer, &count));
  // A close reply of the wrong length.
  simmodule::scriptReplies(device(), 4, {{4, 4, 1, 1, 4}});
  simmodule::scriptReplies(device(), 4, {{4, 8, 4}});
  EXPECT_EQ(aErrIO, link->loadStoreSlot(2, 1, 1, nullptr, 0));
}

// ---- Factory data ------------------------------------------------------------------------

TEST_F(LinkExchange, FactoryDataRoundTrip) {
  std::vector<uint8_t> data(60);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 3);
  ASSERT_EQ(aErrNone, link->setFactoryData(2, 5, data.data(), 60));
  std::vector<Bytes> sent = requests();
  ASSERT_EQ(4u, sent.size());
  EXPECT_EQ(0x5E, sent[0][0]);
  EXPECT_EQ(0x55, sent[0][1]);
  EXPECT_EQ(28u, sent[0].size());
  EXPECT_EQ(0x15, sent[1][1]);
  EXPECT_EQ(10u, sent[2].size());
  EXPECT_EQ((Bytes{0x5E, 0x20, 0, 60}), sent[3]);
  EXPECT_EQ(data, simmodule::getFactoryData(device(), 5));
  uint8_t buffer[100];
  uint32_t count = 0;
  ASSERT_EQ(aErrNone, link->getFactoryData(2, 5, buffer, sizeof buffer, &count));
  EXPECT_EQ(60u, count);
  EXPECT_EQ(0, std::memcmp(buffer, data.data(), 60));
  sent = requests();
  ASSERT_EQ(4u, sent.size());
  EXPECT_EQ((Bytes{0x5E, 0x45}), sent[0]);
  EXPECT_EQ((Bytes{0x5E, 0x05}), sent[1]);
  EXPECT_EQ((Bytes{0x5E, 0x05}), sent[2]);
  EXPECT_EQ((Bytes{0x5E, 0x20, 0, 60}), sent[3]);
}

TEST_F(LinkExchange, FactoryDataBoundsAndErrors) {
  simmodule::setFactoryData(device(), 1, std::vector<uint8_t>(20, 1));
  uint8_t buffer[32];
  uint32_t count = 0;
  // Data that would fill the buffer completely is an overrun.
  EXPECT_EQ(aErrOverrun, link->getFactoryData(2, 1, buffer, 20, &count));
  EXPECT_EQ(aErrNone, link->getFactoryData(2, 1, buffer, 21, &count));
  EXPECT_EQ(20u, count);
  EXPECT_EQ(aErrNone, link->setFactoryData(2, 1, nullptr, 0));
  EXPECT_EQ((Bytes{0x5E, 0x20, 0, 0}), requests().back());
  simmodule::scriptReplies(device(), 0x5E, {{0x5E, 0x81, aErrPermission}});
  EXPECT_EQ(aErrPermission, link->getFactoryData(2, 1, buffer, sizeof buffer, &count));
  simmodule::scriptReplies(device(), 0x5E, {{0x5E, 0x11, 0}});
  EXPECT_EQ(aErrSize, link->setFactoryData(2, 1, buffer, 4));
  simmodule::scriptReplies(device(), 0x5E, {});
  EXPECT_EQ(aErrTimeout, link->setFactoryData(2, 1, buffer, 4));
  EXPECT_EQ(aErrParam, link->getFactoryData(2, 16, buffer, sizeof buffer, &count));
}
