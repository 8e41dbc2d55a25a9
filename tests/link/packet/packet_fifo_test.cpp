// Packet FIFO rules: ordering, overflow, skip budgets, waits and destruction.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "LinkTestSupport.h"
#include "aPacketFifo.h"

namespace {

using Clock = std::chrono::steady_clock;

long msSince(Clock::time_point start) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

class Fifo : public ::testing::Test {
 protected:
  void SetUp() override { fifo = aPacketFifo_Create(); ASSERT_NE(fifo, 0u); }
  void TearDown() override {
    if (fifo) aPacketFifo_Destroy(&fifo);
  }
  // Takes the next packet without waiting and returns its command (-1: none).
  int takeCommand() {
    aPacket* packet = aPacketFifo_Get(fifo);
    if (!packet) return -1;
    int command = packet->data[0];
    aPacket_Destroy(&packet);
    return command;
  }
  aPacketFifoRef fifo = 0;
};

TEST_F(Fifo, KeepsOrderAndCopies) {
  uint8_t command = 1;
  aPacket* packet = aPacket_CreateWithData(2, 1, &command);
  ASSERT_EQ(aPacketFifo_Put(fifo, packet), aErrNone);
  packet->data[0] = 2;  // the caller's packet is its own
  ASSERT_EQ(aPacketFifo_Put(fifo, packet), aErrNone);
  aPacket_Destroy(&packet);
  EXPECT_EQ(aPacketFifo_GetLength(fifo), 2u);
  EXPECT_EQ(takeCommand(), 1);
  EXPECT_EQ(takeCommand(), 2);
  EXPECT_EQ(takeCommand(), -1);
}

TEST_F(Fifo, TwentyStayTheTwentyFirstEmptiesIt) {
  for (int i = 0; i < 20; i++) ASSERT_EQ(putCommand(fifo, static_cast<uint8_t>(i), 2), aErrNone);
  EXPECT_EQ(aPacketFifo_GetLength(fifo), 20u);
  ASSERT_EQ(putCommand(fifo, 20, 2), aErrNone);
  EXPECT_EQ(aPacketFifo_GetLength(fifo), 0u);
  EXPECT_EQ(takeCommand(), -1);
  // The queue works normally afterwards.
  ASSERT_EQ(putCommand(fifo, 7, 2), aErrNone);
  EXPECT_EQ(takeCommand(), 7);
}

TEST_F(Fifo, UnclaimedPacketIsDroppedByTheEleventhSearch) {
  ASSERT_EQ(putCommand(fifo, 9, 2), aErrNone);
  for (int i = 0; i < 10; i++) {
    EXPECT_EQ(aPacketFifo_GetFirst(fifo, matchNothing, nullptr), nullptr);
    ASSERT_EQ(aPacketFifo_GetLength(fifo), 1u) << "search " << i + 1;
  }
  EXPECT_EQ(aPacketFifo_GetFirst(fifo, matchNothing, nullptr), nullptr);
  EXPECT_EQ(aPacketFifo_GetLength(fifo), 0u);
}

TEST_F(Fifo, GetFirstClaimsPastOtherPackets) {
  putCommand(fifo, 1, 2);
  putCommand(fifo, 2, 4);
  putCommand(fifo, 3, 6);
  uint8_t wanted = 2;
  aPacket* packet = aPacketFifo_GetFirst(fifo, matchCommand, &wanted);
  ASSERT_NE(packet, nullptr);
  EXPECT_EQ(packet->address, 4);
  aPacket_Destroy(&packet);
  EXPECT_EQ(takeCommand(), 1);
  EXPECT_EQ(takeCommand(), 3);
}

TEST_F(Fifo, DrainRemovesOnlyClaimedPackets) {
  for (uint8_t c : {1, 2, 1, 3, 1}) putCommand(fifo, c, 2);
  uint8_t wanted = 1;
  EXPECT_EQ(aPacketFifo_DrainPackets(fifo, matchCommand, &wanted), 3u);
  EXPECT_EQ(aPacketFifo_GetLength(fifo), 2u);
  EXPECT_EQ(takeCommand(), 2);
  // The tail was moved right: appending still works.
  putCommand(fifo, 4, 2);
  EXPECT_EQ(takeCommand(), 3);
  EXPECT_EQ(takeCommand(), 4);
  EXPECT_EQ(aPacketFifo_DrainPackets(fifo, nullptr, nullptr), 0u);
}

TEST_F(Fifo, AwaitFirstTimesOutOnAnEmptyFifo) {
  uint8_t wanted = 1;
  auto start = Clock::now();
  EXPECT_EQ(aPacketFifo_AwaitFirst(fifo, matchCommand, &wanted, 100), nullptr);
  long elapsed = msSince(start);
  EXPECT_GE(elapsed, 95);
  EXPECT_LT(elapsed, 5000);
}

TEST_F(Fifo, AwaitFirstReturnsAPacketPutMeanwhileAtOnce) {
  uint8_t wanted = 5;
  auto start = Clock::now();
  auto waiter = std::async(std::launch::async, [&] { return aPacketFifo_AwaitFirst(fifo, matchCommand, &wanted, 20000); });
  // An unwanted packet first: it is aged out while the waiter keeps waiting.
  putCommand(fifo, 4, 2);
  putCommand(fifo, 5, 2);
  aPacket* packet = waiter.get();
  ASSERT_NE(packet, nullptr);
  EXPECT_EQ(packet->data[0], 5);
  EXPECT_LT(msSince(start), 10000);
  aPacket_Destroy(&packet);
}

TEST_F(Fifo, AwaitWaitsForAPacketOrTimesOut) {
  auto start = Clock::now();
  EXPECT_EQ(aPacketFifo_Await(fifo, 50), nullptr);
  EXPECT_GE(msSince(start), 45);
  auto waiter = std::async(std::launch::async, [&] { return aPacketFifo_Await(fifo, 20000); });
  putCommand(fifo, 3, 8);
  aPacket* packet = waiter.get();
  ASSERT_NE(packet, nullptr);
  EXPECT_EQ(packet->address, 8);
  aPacket_Destroy(&packet);
}

TEST_F(Fifo, DestroyWakesEveryWaiterWithNull) {
  uint8_t wanted = 1;
  std::atomic<int> returned{0};
  std::vector<std::thread> waiters;
  waiters.emplace_back([&] { EXPECT_EQ(aPacketFifo_GetFirst(fifo, matchCommand, &wanted), nullptr); returned++; });
  waiters.emplace_back([&] { EXPECT_EQ(aPacketFifo_Await(fifo, 60000), nullptr); returned++; });
  waiters.emplace_back([&] { EXPECT_EQ(aPacketFifo_AwaitFirst(fifo, matchCommand, &wanted, 60000), nullptr); returned++; });
  // Give the waiters a chance to block; the result holds either way.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  auto start = Clock::now();
  aPacketFifoRef ref = fifo;
  ASSERT_EQ(aPacketFifo_Destroy(&fifo), aErrNone);
  EXPECT_EQ(fifo, 0u);
  for (auto& t : waiters) t.join();
  EXPECT_EQ(returned.load(), 3);
  EXPECT_LT(msSince(start), 10000);
  // The stale reference is harmless.
  EXPECT_EQ(putCommand(ref, 1, 2), aErrParam);
  EXPECT_EQ(aPacketFifo_Get(ref), nullptr);
  EXPECT_EQ(aPacketFifo_GetLength(ref), 0u);
  EXPECT_EQ(aPacketFifo_Destroy(&ref), aErrNotFound);
}

TEST(FifoReferences, UnknownAndInvalid) {
  aPacketFifoRef unknown = 0;
  EXPECT_EQ(aPacketFifo_Destroy(&unknown), aErrNotFound);
  EXPECT_EQ(aPacketFifo_Destroy(nullptr), aErrParam);
  aPacketFifoRef fifo = aPacketFifo_Create();
  aPacketFifoRef other = aPacketFifo_Create();
  EXPECT_NE(fifo, other);
  aPacket forged{};
  EXPECT_EQ(aPacketFifo_Put(fifo, &forged), aErrParam);
  EXPECT_EQ(aPacketFifo_Put(fifo, nullptr), aErrParam);
  EXPECT_EQ(aPacketFifo_GetLength(fifo), 0u);
  aPacketFifo_Destroy(&fifo);
  aPacketFifo_Destroy(&other);
}

// Producers and consumers on one FIFO: every packet is taken at most once
// and nothing is lost while the queue stays below its overflow limit.
TEST(FifoThreads, ProducersAndConsumersShareOneFifo) {
  aPacketFifoRef fifo = aPacketFifo_Create();
  const int kPerProducer = 2000;
  std::atomic<int> taken{0};
  std::atomic<bool> done{false};
  std::vector<std::thread> consumers;
  for (int c = 0; c < 2; c++) {
    consumers.emplace_back([&] {
      while (!done.load() || aPacketFifo_GetLength(fifo) > 0) {
        aPacket* packet = aPacketFifo_Await(fifo, 5);
        if (packet) {
          taken++;
          aPacket_Destroy(&packet);
        }
      }
    });
  }
  std::vector<std::thread> producers;
  for (int p = 0; p < 2; p++) {
    producers.emplace_back([&, p] {
      for (int i = 0; i < kPerProducer; i++) {
        while (aPacketFifo_GetLength(fifo) >= 10) std::this_thread::yield();
        ASSERT_EQ(putCommand(fifo, static_cast<uint8_t>(i), static_cast<uint8_t>(2 + 2 * p)), aErrNone);
      }
    });
  }
  for (auto& t : producers) t.join();
  done = true;
  for (auto& t : consumers) t.join();
  // Two producers may both pass the length check; the limit of 20 is never reached.
  EXPECT_EQ(taken.load(), 2 * kPerProducer);
  aPacketFifo_Destroy(&fifo);
}

}  // namespace
