// Replies awaited through the packet link: each caller gets its own reply
// whether it comes at once or late, and whatever other callers wait beside it.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "BytePipe.h"
#include "aLink.h"

namespace {

using Bytes = BytePipe::Bytes;
using Clock = std::chrono::steady_clock;

const Bytes kStart = {0xAF, 0x01, 0x01};
const uint8_t kModule = 0x04;

bool waitRunning(aLinkRef link) {
  const Clock::time_point start = Clock::now();
  while (aLink_GetStatus(link) != LINK_RUNNING) {
    if (Clock::now() - start > std::chrono::seconds(10)) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

uint8_t matchCommand(const aPacket* packet, const void* ref) {
  return packet->dataSize >= 1 && packet->data[0] == *static_cast<const uint8_t*>(ref);
}

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

class LinkReplies : public ::testing::Test {
 protected:
  void SetUp() override {
    link = aLink_Create(BytePipe::makeStream(pipe));
    ASSERT_NE(link, 0u);
    ASSERT_TRUE(waitRunning(link));
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
TEST_F(LinkReplies, ReplyReachesTheCallerWheneverItComes) {
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
TEST_F(LinkReplies, SeveralCallersEachGetTheirOwnReply) {
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

}  // namespace
