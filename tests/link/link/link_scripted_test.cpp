// The packet link against a scripted module: the test feeds the exact bytes
// a module would send and watches the bytes the link writes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <random>
#include <thread>

#include "BytePipe.h"
#include "LinkTestSupport.h"
#include "aLink.h"

namespace {

using Bytes = BytePipe::Bytes;
using Clock = std::chrono::steady_clock;

const Bytes kStart = {0xAF, 0x01, 0x01};
const Bytes kStop = {0xAF, 0x01, 0x00};
const Bytes kBurst = {0xAD, 0x00, 0xAD, 0x00, 0xAD, 0x00, 0xAD, 0x00, 0xAD, 0x00, 0xAD, 0x00};

long msSince(Clock::time_point start) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

uint8_t anyPacket(const aPacket*, const void*) { return 1; }

uint8_t fromAddress(const aPacket* packet, const void* ref) {
  return packet->address == *static_cast<const uint8_t*>(ref);
}

class ScriptedLink : public ::testing::TestWithParam<BytePipe::Reading> {
 protected:
  void SetUp() override {
    link = aLink_Create(BytePipe::makeStream(pipe, GetParam()));
    ASSERT_NE(link, 0u);
    ASSERT_TRUE(waitStatus(link, LINK_RUNNING));
    ASSERT_TRUE(pipe->waitContains(kStart));
  }
  void TearDown() override {
    if (link) {
      EXPECT_EQ(aLink_Destroy(&link), aErrNone);
    }
  }
  // A heartbeat whose answer shows that the reader has handled every byte
  // pushed before it.
  void sync(uint8_t value = 0x40) {
    size_t from = pipe->written().size();
    pipe->push({0x02, 0x02, 0x00, value});
    ASSERT_TRUE(pipe->waitContains({0x02, 0x02, 0x00, static_cast<uint8_t>(value + 2)}, from));
  }
  int drainAll() {
    int n = 0;
    while (aPacket* packet = aLink_GetPacket(link)) {
      aPacket_Destroy(&packet);
      n++;
    }
    return n;
  }

  std::shared_ptr<BytePipe> pipe = std::make_shared<BytePipe>();
  aLinkRef link = 0;
};

TEST_P(ScriptedLink, StartAndStopPacketsFrameTheConversation) {
  EXPECT_EQ(BytePipe::find(pipe->written(), kStart), 0u);
  const uint8_t data[] = {0x17, 0x01, 0x02};
  aPacket* packet = aPacket_CreateWithData(0x02, 3, data);
  ASSERT_EQ(aLink_PutPacket(link, packet), aErrNone);
  aPacket_Destroy(&packet);
  ASSERT_TRUE(pipe->waitContains({0x02, 0x03, 0x17, 0x01, 0x02}));
  ASSERT_EQ(aLink_Destroy(&link), aErrNone);
  EXPECT_EQ(link, 0u);
  EXPECT_TRUE(pipe->destroyed());
  Bytes written = pipe->written();
  ASSERT_GE(written.size(), 3u);
  EXPECT_EQ(Bytes(written.end() - 3, written.end()), kStop);
}

TEST_P(ScriptedLink, HeartbeatsAreAnsweredAndNeverQueued) {
  pipe->push({0x04, 0x02, 0x00, 0x01});
  ASSERT_TRUE(pipe->waitContains({0x04, 0x02, 0x00, 0x03}));
  pipe->push({0x04, 0x02, 0x00, 0xFF});
  ASSERT_TRUE(pipe->waitContains({0x04, 0x02, 0x00, 0x01}));
  // A two-byte packet of another command is an ordinary packet.
  pipe->push({0x04, 0x02, 0x05, 0x01});
  aPacket* packet = aLink_AwaitPacket(link, 10000);
  ASSERT_NE(packet, nullptr);
  EXPECT_EQ(packet->data[0], 0x05);
  aPacket_Destroy(&packet);
  EXPECT_EQ(aLink_GetPacket(link), nullptr);
}

TEST_P(ScriptedLink, OddAddressResynchronisesAndTheAnswerRestoresFraming) {
  pipe->push({0x05});
  ASSERT_TRUE(pipe->waitContains(kBurst));
  ASSERT_TRUE(waitStatus(link, LINK_RESYNCING));
  // Callers are not kept waiting while the link is resynchronising.
  auto start = Clock::now();
  EXPECT_EQ(aLink_AwaitFirst(link, anyPacket, nullptr, 5000), nullptr);
  EXPECT_LT(msSince(start), 2500);

  pipe->push({0x06, 0x00, 0x06, 0x00});
  ASSERT_TRUE(waitStatus(link, LINK_RUNNING));
  pipe->push({0x06, 0x01, 0x05});
  uint8_t address = 0x06;
  aPacket* packet = aLink_AwaitFirst(link, fromAddress, &address, 10000);
  ASSERT_NE(packet, nullptr);
  EXPECT_EQ(packet->dataSize, 1);
  EXPECT_EQ(packet->data[0], 0x05);
  aPacket_Destroy(&packet);
}

TEST_P(ScriptedLink, WrongResyncAnswerSendsANewBurst) {
  pipe->push({0x05});
  ASSERT_TRUE(pipe->waitWritten([](const Bytes& w) { return BytePipe::count(w, kBurst) == 1; }));
  pipe->push({0x06, 0x00, 0x08});
  ASSERT_TRUE(pipe->waitWritten([](const Bytes& w) { return BytePipe::count(w, kBurst) == 2; }));
  EXPECT_EQ(aLink_GetStatus(link), LINK_RESYNCING);
  pipe->push({0x08, 0x00, 0x08, 0x00});
  ASSERT_TRUE(waitStatus(link, LINK_RUNNING));
}

TEST_P(ScriptedLink, OverlongLengthAndGarbageNeverStopTheLink) {
  pipe->push({0x02, 29});
  ASSERT_TRUE(pipe->waitContains(kBurst));
  std::mt19937 random(1234);
  Bytes garbage(300);
  for (auto& b : garbage) b = static_cast<uint8_t>(random());
  pipe->push(garbage);
  ASSERT_TRUE(pipe->waitDrained(30000));
  // Odd bytes end whatever the garbage left half-assembled: either they
  // complete a packet and then break the framing, or they restart the
  // resynchronisation. Then the module answers the burst.
  pipe->push(Bytes(31, 0x01));
  ASSERT_TRUE(pipe->waitDrained(30000));
  ASSERT_TRUE(waitStatus(link, LINK_RESYNCING));
  pipe->push({0x0A, 0x00, 0x0A, 0x00});
  ASSERT_TRUE(waitStatus(link, LINK_RUNNING));
  sync();
  drainAll();
  pipe->push({0x0A, 0x02, 0x33, 0x44});
  aPacket* packet = aLink_AwaitPacket(link, 10000);
  ASSERT_NE(packet, nullptr);
  EXPECT_EQ(packet->address, 0x0A);
  EXPECT_EQ(packet->data[1], 0x44);
  aPacket_Destroy(&packet);
}

TEST_P(ScriptedLink, FloodOfUnreadPacketsFollowsTheOverflowRule) {
  for (int i = 0; i < 25; i++) pipe->push({0x02, 0x01, static_cast<uint8_t>(i)});
  sync();
  // The 21st packet emptied the queue; the four after it remain, in order.
  for (int i = 21; i < 25; i++) {
    aPacket* packet = aLink_GetPacket(link);
    ASSERT_NE(packet, nullptr);
    EXPECT_EQ(packet->data[0], i);
    aPacket_Destroy(&packet);
  }
  EXPECT_EQ(aLink_GetPacket(link), nullptr);
  EXPECT_EQ(aLink_GetStatus(link), LINK_RUNNING);
}

struct FilterCount {
  std::atomic<int> seen{0};
};

bool consumeAll(const aPacket*, void* ref) {
  static_cast<FilterCount*>(ref)->seen++;
  return true;
}

TEST_P(ScriptedLink, UserFilterConsumesPacketsAndHeartbeats) {
  FilterCount count;
  ASSERT_EQ(aLink_InstallUserPacketFilter(link, consumeAll, &count), aErrNone);
  size_t from = pipe->written().size();
  pipe->push({0x04, 0x02, 0x00, 0x01, 0x04, 0x01, 0x09});
  ASSERT_TRUE(pipe->waitDrained());
  auto start = Clock::now();
  while (count.seen < 2 && msSince(start) < 10000) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(count.seen.load(), 2);
  ASSERT_EQ(aLink_InstallUserPacketFilter(link, nullptr, nullptr), aErrNone);
  EXPECT_EQ(aLink_GetPacket(link), nullptr);
  sync();
  EXPECT_EQ(BytePipe::find(pipe->written(), {0x04, 0x02, 0x00, 0x03}, from), BytePipe::npos);
  EXPECT_EQ(count.seen.load(), 2);
}

TEST_P(ScriptedLink, ReadErrorShowsAsStatusAndReleasesWaiters) {
  auto waiter = std::async(std::launch::async, [&] { return aLink_AwaitFirst(link, anyPacket, nullptr, 20000); });
  pipe->breakReads(aErrIO);
  ASSERT_TRUE(waitStatus(link, LINK_READ_ERROR));
  auto start = Clock::now();
  EXPECT_EQ(waiter.get(), nullptr);
  EXPECT_LT(msSince(start), 10000);
  EXPECT_EQ(aLink_AwaitFirst(link, anyPacket, nullptr, 5000), nullptr);
  // The status stays until the caller acts, even if reads work again.
  pipe->breakReads(aErrNone);
  pipe->push({0x02, 0x01, 0x01});
  ASSERT_TRUE(pipe->waitDrained());
  EXPECT_EQ(aLink_GetStatus(link), LINK_READ_ERROR);
}

TEST_P(ScriptedLink, DestroyReleasesEveryWaiterWithNull) {
  auto first = std::async(std::launch::async, [&] { return aLink_GetFirst(link, anyPacket, nullptr); });
  auto awaitFirst = std::async(std::launch::async, [&] { return aLink_AwaitFirst(link, anyPacket, nullptr, 60000); });
  auto await = std::async(std::launch::async, [&] { return aLink_AwaitPacket(link, 60000); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let them block; the result holds either way
  auto start = Clock::now();
  aLinkRef stale = link;
  ASSERT_EQ(aLink_Destroy(&link), aErrNone);
  EXPECT_EQ(first.get(), nullptr);
  EXPECT_EQ(awaitFirst.get(), nullptr);
  EXPECT_EQ(await.get(), nullptr);
  EXPECT_LT(msSince(start), 10000);
  EXPECT_EQ(aLink_GetStatus(stale), LINK_INVALID);
  EXPECT_EQ(aLink_Destroy(&stale), aErrParam);
}

TEST_P(ScriptedLink, PacketLogRecordsBothDirections) {
  EXPECT_EQ(aLink_PacketDebug_Read(link, nullptr, nullptr, nullptr), aErrNotReady);
  EXPECT_EQ(aLink_PacketDebug_Disable(link), aErrNotReady);
  EXPECT_EQ(aLink_PacketDebug_SetLogSize(link, 0x4000001), aErrParam);
  EXPECT_EQ(aLink_PacketDebug_SetLogSize(link, 4096), aErrNone);
  ASSERT_EQ(aLink_PacketDebug_Enable(link), aErrNone);
  EXPECT_EQ(aLink_PacketDebug_SetLogSize(link, 1024), aErrBusy);

  const uint8_t data[] = {0x17, 0x05};
  aPacket* packet = aPacket_CreateWithData(0x02, 2, data);
  ASSERT_EQ(aLink_PutPacket(link, packet), aErrNone);
  aPacket_Destroy(&packet);
  ASSERT_TRUE(pipe->waitContains({0x02, 0x02, 0x17, 0x05}));
  pipe->push({0x02, 0x01, 0x42});
  packet = aLink_AwaitPacket(link, 10000);
  ASSERT_NE(packet, nullptr);
  aPacket_Destroy(&packet);
  const uint8_t text[] = {'S', 'T', 'A', 'R', 'T'};
  ASSERT_EQ(aLink_PacketDebug_Write(link, aLINK_LOG_TEXT, sizeof(text), text), aErrNone);

  std::vector<std::pair<int, Bytes>> records;
  for (;;) {
    uint8_t direction = 0;
    uint8_t buffer[64];
    uint32_t length = sizeof(buffer);
    aErr err = aLink_PacketDebug_Read(link, &direction, &length, buffer);
    if (err == aErrNotFound) break;
    ASSERT_EQ(err, aErrNone);
    Bytes bytes(buffer, buffer + length);
    // The start packet may be logged if the writer recorded it just after
    // the log was made.
    if (direction == aLINK_LOG_SENT && bytes == kStart) continue;
    records.emplace_back(direction, bytes);
  }
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0], std::make_pair(1, Bytes{0x02, 0x02, 0x17, 0x05}));
  EXPECT_EQ(records[1], std::make_pair(2, Bytes{0x02, 0x01, 0x42}));
  EXPECT_EQ(records[2], std::make_pair(3, Bytes{'S', 'T', 'A', 'R', 'T'}));
  EXPECT_EQ(aLink_PacketDebug_Disable(link), aErrNone);
}

TEST(LinkIdentifiers, UnknownLinksAreRefused) {
  const aLinkRef unknown = 0x7FFFFFF0u;
  aLinkRef ref = unknown;
  uint8_t value = 0;
  aPacket* packet = aPacket_CreateWithData(0x02, 1, &value);
  EXPECT_EQ(aLink_Destroy(&ref), aErrParam);
  EXPECT_EQ(aLink_Destroy(nullptr), aErrParam);
  EXPECT_EQ(aLink_Reset(unknown), aErrParam);
  EXPECT_EQ(aLink_GetStatus(unknown), LINK_INVALID);
  EXPECT_EQ(aLink_PutPacket(unknown, packet), aErrParam);
  EXPECT_EQ(aLink_GetPacket(unknown), nullptr);
  EXPECT_EQ(aLink_AwaitPacket(unknown, 10), nullptr);
  EXPECT_EQ(aLink_GetFirst(unknown, anyPacket, nullptr), nullptr);
  EXPECT_EQ(aLink_AwaitFirst(unknown, anyPacket, nullptr, 10), nullptr);
  EXPECT_EQ(aLink_DrainPackets(unknown, anyPacket, nullptr), 0u);
  EXPECT_EQ(aLink_InstallUserPacketFilter(unknown, nullptr, nullptr), aErrParam);
  EXPECT_EQ(aLink_PacketDebug_SetLogSize(unknown, 10), aErrParam);
  EXPECT_EQ(aLink_PacketDebug_Enable(unknown), aErrParam);
  EXPECT_EQ(aLink_PacketDebug_Write(unknown, 3, 1, &value), aErrParam);
  EXPECT_EQ(aLink_Create(nullptr), 0u);
  aPacket_Destroy(&packet);
}

TEST(LinkIdentifiers, StreamLinksAreNotSharedAndCannotBeReset) {
  auto pipeA = std::make_shared<BytePipe>();
  auto pipeB = std::make_shared<BytePipe>();
  aLinkRef a = aLink_Create(BytePipe::makeStream(pipeA));
  aLinkRef b = aLink_Create(BytePipe::makeStream(pipeB));
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  EXPECT_NE(a, b);
  EXPECT_EQ(aLink_Reset(a), aErrParam);
  aPacket forged{};
  EXPECT_EQ(aLink_PutPacket(a, &forged), aErrParam);
  EXPECT_EQ(aLink_Destroy(&a), aErrNone);
  EXPECT_TRUE(pipeA->destroyed());
  EXPECT_FALSE(pipeB->destroyed());
  EXPECT_EQ(aLink_Destroy(&b), aErrNone);
}

// Once with the reader thread reading every byte, once with callers that
// await replies reading the stream themselves.
INSTANTIATE_TEST_SUITE_P(Readers, ScriptedLink,
                         ::testing::Values(BytePipe::Reading::kByReader, BytePipe::Reading::kByCallers),
                         [](const auto& info) { return BytePipe::name(info.param); });

}  // namespace
