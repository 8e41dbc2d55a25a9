// Waiting for replies on a packet FIFO: a caller that polls before it sleeps
// gets its reply whenever it comes, unwanted packets still age out behind a
// lone caller, and callers waiting side by side each get their own reply.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "LinkTestSupport.h"
#include "aPacketFifo.h"
#include "internal/aPacketFifoWait.h"

namespace {

using Clock = std::chrono::steady_clock;

const uint32_t kLongWaitMs = 20000;

// The command of a packet a wait returned (-1: none), which it frees.
int commandOf(aPacket* packet) {
  if (!packet) return -1;
  const int command = packet->data[0];
  aPacket_Destroy(&packet);
  return command;
}

class FifoReply : public ::testing::Test {
 protected:
  void SetUp() override {
    fifo = aPacketFifo_Create();
    ASSERT_NE(fifo, 0u);
  }
  void TearDown() override {
    if (fifo) aPacketFifo_Destroy(&fifo);
  }
  aPacketFifoRef fifo = 0;
};

// The reply is put at once (while the caller is most likely still polling),
// a little later, and long after the polling has given way to sleep; also
// after a run of waits that timed out, which spends the polling budget.
TEST_F(FifoReply, ReplyReachesTheCallerWheneverItComes) {
  const int delaysMs[] = {0, 0, 1, 30, 0};
  uint8_t wanted = 7;
  for (int delay : delaysMs) {
    auto waiter = std::async(std::launch::async, [&] {
      return commandOf(aPacketFifo_AwaitReply(fifo, matchCommand, &wanted, kLongWaitMs));
    });
    if (delay) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    ASSERT_EQ(putCommand(fifo, wanted), aErrNone);
    EXPECT_EQ(waiter.get(), wanted) << "reply put after " << delay << " ms";
  }
  for (int i = 0; i < 8; i++) EXPECT_EQ(aPacketFifo_AwaitReply(fifo, matchCommand, &wanted, 1), nullptr);
  auto waiter = std::async(std::launch::async, [&] {
    return commandOf(aPacketFifo_AwaitReply(fifo, matchCommand, &wanted, kLongWaitMs));
  });
  ASSERT_EQ(putCommand(fifo, wanted), aErrNone);
  EXPECT_EQ(waiter.get(), wanted);
  EXPECT_EQ(aPacketFifo_GetLength(fifo), 0u);
}

TEST_F(FifoReply, ReplyAlreadyQueuedIsTakenPastOthers) {
  uint8_t wanted = 3;
  putCommand(fifo, 1);
  putCommand(fifo, 3);
  putCommand(fifo, 5);
  EXPECT_EQ(commandOf(aPacketFifo_AwaitReply(fifo, matchCommand, &wanted, 0)), 3);
  EXPECT_EQ(aPacketFifo_GetLength(fifo), 2u);
}

// A lone caller keeps ageing out what nobody claims, polling or sleeping.
TEST_F(FifoReply, LoneCallerAgesUnwantedPacketsOut) {
  putCommand(fifo, 1);
  putCommand(fifo, 2);
  EXPECT_EQ(aPacketFifo_AwaitReply(fifo, matchNothing, nullptr, 50), nullptr);
  EXPECT_EQ(aPacketFifo_GetLength(fifo), 0u);
  putCommand(fifo, 1);
  EXPECT_EQ(aPacketFifo_AwaitFirst(fifo, matchNothing, nullptr, 50), nullptr);
  EXPECT_EQ(aPacketFifo_GetLength(fifo), 0u);
}

TEST_F(FifoReply, DestroyReleasesAPollingCaller) {
  uint8_t wanted = 1;
  const aPacketFifoRef ref = fifo;  // Destroy clears `fifo` while the caller waits
  auto waiter = std::async(std::launch::async, [ref, &wanted] {
    return aPacketFifo_AwaitReply(ref, matchCommand, &wanted, 60000);
  });
  const Clock::time_point start = Clock::now();
  ASSERT_EQ(aPacketFifo_Destroy(&fifo), aErrNone);
  EXPECT_EQ(waiter.get(), nullptr);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
  aPacketFifoRef unknown = 12345678;
  EXPECT_EQ(aPacketFifo_AwaitReply(unknown, matchCommand, &wanted, 10), nullptr);
  EXPECT_EQ(aPacketFifo_AwaitReply(unknown, nullptr, nullptr, 10), nullptr);
}

// Several callers wait at once, each for its own reply, and the replies come
// in the opposite order: a caller that passes over another's reply must not
// spend that reply's budget before its owner has looked. Polling and
// sleeping callers are mixed; many rounds, so that the replies meet callers
// in every state.
TEST(FifoClaimers, SeveralCallersEachGetTheirOwnReply) {
  aPacketFifoRef fifo = aPacketFifo_Create();
  const int kCallers = 4;
  const int kRounds = 150;
  for (int round = 0; round < kRounds; round++) {
    std::atomic<int> ready{0};
    std::vector<std::future<int>> callers;
    uint8_t wanted[kCallers];
    for (int c = 0; c < kCallers; c++) {
      wanted[c] = static_cast<uint8_t>(10 + c);
      callers.push_back(std::async(std::launch::async, [&, c] {
        ready++;
        aPacket* reply = c % 2 ? aPacketFifo_AwaitFirst(fifo, matchCommand, &wanted[c], kLongWaitMs)
                               : aPacketFifo_AwaitReply(fifo, matchCommand, &wanted[c], kLongWaitMs);
        return commandOf(reply);
      }));
    }
    while (ready.load() < kCallers) std::this_thread::yield();
    if (round % 3) std::this_thread::sleep_for(std::chrono::milliseconds(round % 3));
    for (int c = kCallers - 1; c >= 0; c--) ASSERT_EQ(putCommand(fifo, wanted[c]), aErrNone);
    for (int c = 0; c < kCallers; c++) ASSERT_EQ(callers[c].get(), wanted[c]) << "round " << round;
    ASSERT_EQ(aPacketFifo_GetLength(fifo), 0u);
  }
  aPacketFifo_Destroy(&fifo);
}

}  // namespace
