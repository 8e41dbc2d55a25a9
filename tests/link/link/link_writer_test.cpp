// How the link's packets reach the stream: written at once by the caller or
// queued for the writer thread without ever overtaking one another, and an
// idle link that costs no wake-ups yet stops at once.
#include <dirent.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "BytePipe.h"
#include "LinkTestSupport.h"
#include "aLink.h"
#include "platform/socket.h"

namespace {

using Bytes = BytePipe::Bytes;
using Clock = std::chrono::steady_clock;

const Bytes kStart = {0xAF, 0x01, 0x01};


aErr put(aLinkRef link, const Bytes& data) {
  aPacket* packet = aPacket_CreateWithData(0x02, static_cast<uint8_t>(data.size()), data.data());
  aErr err = aLink_PutPacket(link, packet);
  aPacket_Destroy(&packet);
  return err;
}

// A caller's packet is being written while the reader must answer a
// heartbeat: the answer is queued rather than wait, and the caller's next
// packet goes out behind it, not ahead.
TEST(LinkWriter, QueuedPacketsAreNeverOvertakenByDirectWrites) {
  auto pipe = std::make_shared<BytePipe>();
  aLinkRef link = aLink_Create(BytePipe::makeStream(pipe));
  ASSERT_NE(link, 0u);
  ASSERT_TRUE(waitStatus(link, LINK_RUNNING));
  ASSERT_TRUE(pipe->waitContains(kStart));

  pipe->holdWrites(true);
  std::thread caller([&] { EXPECT_EQ(aErrNone, put(link, {0x17, 0x01})); });
  ASSERT_TRUE(pipe->waitWriteHeld());
  // The ordinary packet after the heartbeat shows the reader has dealt with it.
  pipe->push({0x04, 0x02, 0x00, 0x01, 0x04, 0x01, 0x33});
  aPacket* seen = aLink_AwaitPacket(link, 10000);
  ASSERT_NE(seen, nullptr);
  aPacket_Destroy(&seen);
  pipe->holdWrites(false);
  caller.join();
  ASSERT_EQ(aErrNone, put(link, {0x17, 0x02}));
  ASSERT_EQ(aErrNone, put(link, {0x17, 0x03}));

  const Bytes expected = {0x02, 0x02, 0x17, 0x01,  // the caller's first packet, written directly
                          0x04, 0x02, 0x00, 0x03,  // the heartbeat answer, queued meanwhile
                          0x02, 0x02, 0x17, 0x02, 0x02, 0x02, 0x17, 0x03};
  ASSERT_TRUE(pipe->waitContains(expected, kStart.size()));
  EXPECT_EQ(BytePipe::find(pipe->written(), expected), kStart.size());
  EXPECT_EQ(aErrNone, aLink_Destroy(&link));
}

// Many packets from several threads while heartbeats keep arriving: every
// packet goes out whole, and each thread's packets in the order it sent them.
TEST(LinkWriter, ConcurrentSendersKeepTheirOwnOrder) {
  auto pipe = std::make_shared<BytePipe>();
  aLinkRef link = aLink_Create(BytePipe::makeStream(pipe));
  ASSERT_NE(link, 0u);
  ASSERT_TRUE(waitStatus(link, LINK_RUNNING));
  const int kThreads = 3;
  const int kPackets = 100;
  // One heartbeat at a time, so that answers waiting for the lock never
  // reach the queue's limit however the threads are scheduled.
  std::thread heartbeats([&] {
    for (size_t i = 0; i < 50; ++i) {
      pipe->push({0x06, 0x02, 0x00, 0x01});
      ASSERT_TRUE(pipe->waitWritten([&](const Bytes& w) { return BytePipe::count(w, {0x06, 0x02, 0x00, 0x03}) > i; }));
    }
  });
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t)
    senders.emplace_back([&, t] {
      for (int i = 0; i < kPackets; ++i) EXPECT_EQ(aErrNone, put(link, {0x17, static_cast<uint8_t>(t), static_cast<uint8_t>(i)}));
    });
  for (std::thread& s : senders) s.join();
  heartbeats.join();
  ASSERT_TRUE(pipe->waitDrained());
  const size_t packetBytes = kStart.size() + kThreads * kPackets * 5 + 50 * 4;
  ASSERT_TRUE(pipe->waitWritten([&](const Bytes& w) { return w.size() >= packetBytes; }));
  const Bytes written = pipe->written();
  int next[kThreads] = {0, 0, 0};
  size_t at = kStart.size();
  int answers = 0;
  while (at + 4 <= written.size()) {
    if (written[at] == 0x06) {
      EXPECT_EQ(Bytes(written.begin() + at, written.begin() + at + 4), (Bytes{0x06, 0x02, 0x00, 0x03}));
      ++answers;
      at += 4;
      continue;
    }
    ASSERT_EQ(Bytes(written.begin() + at, written.begin() + at + 3), (Bytes{0x02, 0x03, 0x17})) << "at " << at;
    const int t = written[at + 3];
    ASSERT_LT(t, kThreads);
    EXPECT_EQ(next[t], written[at + 4]);
    next[t] = written[at + 4] + 1;
    at += 5;
  }
  EXPECT_EQ(50, answers);
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(kPackets, next[t]);
  EXPECT_EQ(aErrNone, aLink_Destroy(&link));
}

std::set<std::string> taskIds() {
  std::set<std::string> ids;
  DIR* dir = opendir("/proc/self/task");
  if (!dir) return ids;
  while (dirent* entry = readdir(dir))
    if (entry->d_name[0] != '.') ids.insert(entry->d_name);
  closedir(dir);
  return ids;
}

// Times the thread went to sleep of its own accord (each wait that blocked).
long voluntarySwitches(const std::string& task) {
  std::ifstream status("/proc/self/task/" + task + "/status");
  std::string line;
  const std::string key = "voluntary_ctxt_switches:";
  while (std::getline(status, line))
    if (line.compare(0, key.size(), key) == 0) return std::stol(line.substr(key.size()));
  return -1;
}

long switchesOf(const std::set<std::string>& tasks) {
  long total = 0;
  for (const std::string& task : tasks) total += voluntarySwitches(task);
  return total;
}

// An idle link over a connection blocks its reader and writer without waking
// them on a timer; stopping it ends both at once.
TEST(LinkWriter, IdleLinkSleepsUntilStoppedAndStopsAtOnce) {
#ifdef _WIN32
  GTEST_SKIP() << "threads and their context switches are counted through /proc";
#endif
  platform::SocketHandle listener = platform::tcpListen(platform::ipv4Loopback(), 0, 1);
  ASSERT_NE(listener, platform::kNoSocket);
  // A first thread, so that helpers started with one (a sanitizer's) are
  // there before the link's threads are told apart from the others.
  std::thread([] {}).join();
  const std::set<std::string> before = taskIds();
  aLinkRef link = aLink_CreateTCPIP(platform::ipv4Loopback(), platform::socketLocalPort(listener));
  ASSERT_NE(link, 0u);
  platform::SocketHandle peer = platform::tcpAccept(listener, 10000);
  ASSERT_NE(peer, platform::kNoSocket);
  ASSERT_TRUE(waitStatus(link, LINK_RUNNING));
  uint8_t start[3];
  size_t have = 0;
  while (have < sizeof start && platform::socketWaitReadable(peer, 10000)) {
    size_t n = 0;
    if (platform::socketReceive(peer, start + have, sizeof start - have, &n) != platform::NetResult::Ok) break;
    have += n;
  }
  ASSERT_EQ(sizeof start, have);

  std::set<std::string> linkTasks;
  for (const std::string& task : taskIds())
    if (!before.count(task)) linkTasks.insert(task);
  ASSERT_EQ(2u, linkTasks.size());
  const long switchesBefore = switchesOf(linkTasks);
  // An observation window, not a synchronisation: a thread polling its stop
  // flag every few milliseconds would block dozens of times in it.
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  const long woken = switchesOf(linkTasks) - switchesBefore;
  EXPECT_LE(woken, 4) << "wake-ups of the idle link's threads";

  const Clock::time_point stopStart = Clock::now();
  EXPECT_EQ(aErrNone, aLink_Destroy(&link));
  const auto stopMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - stopStart).count();
  // Far below the idle threads' own time limits: the stop woke them.
  EXPECT_LT(stopMs, 2500);
  platform::socketClose(peer);
  platform::socketClose(listener);
}

}  // namespace
