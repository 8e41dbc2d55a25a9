// Replies awaited through the packet link: each caller gets its own reply
// whether it comes at once or late, and whatever other callers wait beside
// it; whoever reads the stream, what comes besides the reply goes its usual
// way: heartbeats answered, other packets queued in order, the user filter
// run on the reader thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "BytePipe.h"
#include "LinkTestSupport.h"
#include "aLink.h"

namespace {

using Bytes = BytePipe::Bytes;
using Clock = std::chrono::steady_clock;

const Bytes kStart = {0xAF, 0x01, 0x01};
const uint8_t kModule = 0x04;

// Sends a one-byte request and waits for the reply with the same command;
// the reply's second byte, or -1 when none came.
int exchange(aLinkRef link, uint8_t command) {
  aPacket* request = aPacket_CreateWithData(kModule, 1, &command);
  const aErr err = aLink_PutPacket(link, request);
  aPacket_Destroy(&request);
  if (err != aErrNone) return -1;
  aPacket* reply = aLink_AwaitFirst(link, matchCommand, &command, 20000);
  if (!reply) return -1;
  const int value = reply->dataSize >= 2 ? reply->data[1] : -1;
  aPacket_Destroy(&reply);
  return value;
}

Bytes requestBytes(uint8_t command) { return {kModule, 0x01, command}; }
Bytes replyBytes(uint8_t command, uint8_t value) { return {kModule, 0x02, command, value}; }

class LinkReplies : public ::testing::TestWithParam<BytePipe::Reading> {
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
  std::shared_ptr<BytePipe> pipe = std::make_shared<BytePipe>();
  aLinkRef link = 0;
};

// The module answers as soon as the request is out, a little later, and long
// after the caller has stopped polling and sleeps; then again after waits
// that got nothing.
TEST_P(LinkReplies, ReplyReachesTheCallerWheneverItComes) {
  const int delaysMs[] = {0, 2, 40, 0};
  uint8_t value = 1;
  for (int delay : delaysMs) {
    const size_t from = pipe->written().size();
    auto caller = std::async(std::launch::async, [&] { return exchange(link, 0x31); });
    ASSERT_TRUE(pipe->waitContains(requestBytes(0x31), from));
    if (delay) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    pipe->push(replyBytes(0x31, value));
    EXPECT_EQ(caller.get(), value) << "reply after " << delay << " ms";
    value++;
  }
  uint8_t silent = 0x32;
  for (int i = 0; i < 6; i++) EXPECT_EQ(aLink_AwaitFirst(link, matchCommand, &silent, 2), nullptr);
  const size_t from = pipe->written().size();
  auto caller = std::async(std::launch::async, [&] { return exchange(link, 0x31); });
  ASSERT_TRUE(pipe->waitContains(requestBytes(0x31), from));
  pipe->push(replyBytes(0x31, 99));
  EXPECT_EQ(caller.get(), 99);
}

// Callers on several threads each send a request; the module answers them
// all at once, in the opposite order.
TEST_P(LinkReplies, SeveralCallersEachGetTheirOwnReply) {
  const int kCallers = 3;
  const int kRounds = 40;
  for (int round = 0; round < kRounds; round++) {
    const size_t from = pipe->written().size();
    std::vector<std::future<int>> callers;
    for (int c = 0; c < kCallers; c++)
      callers.push_back(std::async(std::launch::async, [&, c] { return exchange(link, static_cast<uint8_t>(0x40 + c)); }));
    for (int c = 0; c < kCallers; c++) ASSERT_TRUE(pipe->waitContains(requestBytes(static_cast<uint8_t>(0x40 + c)), from));
    Bytes replies;
    for (int c = kCallers - 1; c >= 0; c--) {
      const Bytes reply = replyBytes(static_cast<uint8_t>(0x40 + c), static_cast<uint8_t>(round));
      replies.insert(replies.end(), reply.begin(), reply.end());
    }
    pipe->push(replies);
    for (int c = 0; c < kCallers; c++) ASSERT_EQ(callers[c].get(), round) << "caller " << c << ", round " << round;
  }
  EXPECT_EQ(aLink_GetPacket(link), nullptr);
}

// A reply that comes before its caller has begun to wait stays for it, while
// another caller waits for a reply of its own.
TEST_P(LinkReplies, AnEarlyReplyIsKeptForItsLateCaller) {
  uint8_t other = 0x50;
  auto waiting = std::async(std::launch::async, [&] {
    aPacket* reply = aLink_AwaitFirst(link, matchCommand, &other, 20000);
    const int value = reply ? reply->data[1] : -1;
    aPacket_Destroy(&reply);
    return value;
  });
  const size_t from = pipe->written().size();
  Bytes bytes = replyBytes(0x51, 5);
  for (uint8_t beat : {0x01, 0x00}) {
    const Bytes heartbeat = {0x02, 0x02, 0x00, beat};
    bytes.insert(bytes.end(), heartbeat.begin(), heartbeat.end());
  }
  pipe->push(bytes);
  // Both heartbeats answered: the early reply has been queued before them.
  ASSERT_TRUE(pipe->waitContains({0x02, 0x02, 0x00, 0x02}, from));
  uint8_t late = 0x51;
  aPacket* early = aLink_AwaitFirst(link, matchCommand, &late, 5000);
  EXPECT_NE(early, nullptr);
  if (early) {
    EXPECT_EQ(early->data[1], 5);
  }
  aPacket_Destroy(&early);
  pipe->push(replyBytes(0x50, 6));
  EXPECT_EQ(waiting.get(), 6);
}

// Heartbeats before the reply are answered; packets after it stay for the
// link's other users, in order, once the caller has its reply.
TEST_P(LinkReplies, WhatComesBesideTheReplyGoesItsUsualWay) {
  const size_t from = pipe->written().size();
  auto caller = std::async(std::launch::async, [&] { return exchange(link, 0x31); });
  ASSERT_TRUE(pipe->waitContains(requestBytes(0x31), from));
  Bytes bytes = {0x02, 0x02, 0x00, 0x01};
  for (const Bytes& part : {replyBytes(0x31, 7), Bytes{0x06, 0x02, 0x77, 0x01}, Bytes{0x06, 0x02, 0x77, 0x02}})
    bytes.insert(bytes.end(), part.begin(), part.end());
  pipe->push(bytes);
  EXPECT_EQ(caller.get(), 7);
  EXPECT_TRUE(pipe->waitContains({0x02, 0x02, 0x00, 0x03}, from));
  for (uint8_t n : {1, 2}) {
    aPacket* packet = aLink_AwaitPacket(link, 10000);
    ASSERT_NE(packet, nullptr) << "packet " << int(n);
    EXPECT_EQ(packet->address, 0x06);
    EXPECT_EQ(packet->data[1], n);
    aPacket_Destroy(&packet);
  }
  EXPECT_EQ(aLink_GetPacket(link), nullptr);
}

// The first bytes of a reply came before anyone awaited it; the rest comes
// to a caller awaiting it.
TEST_P(LinkReplies, AReplyBegunBeforeTheWaitArrivesWhole) {
  pipe->push({kModule, 0x02});
  ASSERT_TRUE(pipe->waitDrained());
  const size_t from = pipe->written().size();
  auto caller = std::async(std::launch::async, [&] { return exchange(link, 0x31); });
  ASSERT_TRUE(pipe->waitContains(requestBytes(0x31), from));
  pipe->push({0x31, 42});
  EXPECT_EQ(caller.get(), 42);
}

struct FilterSeen {
  std::atomic<int> packets{0};
  std::atomic<bool> onCallerThread{false};
  std::thread::id caller;
};

bool takeFromSix(const aPacket* packet, void* ref) {
  auto* seen = static_cast<FilterSeen*>(ref);
  if (packet->address != 0x06) return false;
  if (std::this_thread::get_id() == seen->caller) seen->onCallerThread = true;
  seen->packets++;
  return true;
}

// A filter installed while a caller awaits its reply sees the packets that
// come before the reply, on the reader thread, and the reply still comes;
// also when the caller has the stream and is waiting on it.
TEST_P(LinkReplies, AFilterInstalledDuringTheWaitRunsOnTheReaderThread) {
  const int kRounds = 20;
  FilterSeen seen;
  for (int round = 0; round < kRounds; round++) {
    std::promise<std::thread::id> callerId;
    const size_t from = pipe->written().size();
    auto caller = std::async(std::launch::async, [&] {
      callerId.set_value(std::this_thread::get_id());
      return exchange(link, 0x31);
    });
    seen.caller = callerId.get_future().get();
    ASSERT_TRUE(pipe->waitContains(requestBytes(0x31), from));
    if (GetParam() == BytePipe::Reading::kByCallers) {
      ASSERT_TRUE(pipe->waitWaiter(seen.caller));
    }
    ASSERT_EQ(aLink_InstallUserPacketFilter(link, takeFromSix, &seen), aErrNone);
    Bytes bytes = {0x06, 0x01, 0x55, 0x06, 0x01, 0x56};
    const Bytes reply = replyBytes(0x31, static_cast<uint8_t>(round));
    bytes.insert(bytes.end(), reply.begin(), reply.end());
    pipe->push(bytes);
    ASSERT_EQ(caller.get(), round);
    const Clock::time_point start = Clock::now();
    while (seen.packets < 2 * (round + 1) && Clock::now() - start < std::chrono::seconds(10))
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(seen.packets.load(), 2 * (round + 1));
    ASSERT_EQ(aLink_InstallUserPacketFilter(link, nullptr, nullptr), aErrNone);
  }
  EXPECT_FALSE(seen.onCallerThread.load());
}

// Once with the reader thread reading every byte, once with callers that
// await replies reading the stream themselves.
INSTANTIATE_TEST_SUITE_P(Readers, LinkReplies,
                         ::testing::Values(BytePipe::Reading::kByReader, BytePipe::Reading::kByCallers),
                         [](const auto& info) { return BytePipe::name(info.param); });

}  // namespace
