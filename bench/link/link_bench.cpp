// Packet link figures, measured against a peer in a child process (as a real
// module is another machine): the simulated module with a debug-echo
// command, and beside it a bare TCP echo for the raw socket baseline.
//
//   link_bench [benchmark options]
//
// The round trip of a small request and reply through aLink and a bare
// socket ping-pong of the same size on the same loopback are measured in
// alternating blocks, each side on a thread of its own, so that both sides
// see the same machine; each block pair gives one ratio. Then the CPU time
// and wake-ups an idle connected link costs, from its threads' own counters.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "../support/BenchFigures.h"
#include "LinkTestSupport.h"
#include "SimModule.h"
#include "aLink.h"
#include "platform/socket.h"

namespace {

using Clock = std::chrono::steady_clock;

const uint8_t kModuleAddress = 2;
const uint8_t kEchoCommand = 23;
const uint8_t kRequest[] = {kEchoCommand, 0x01, 0x02};  // 5 bytes on the wire
const size_t kWireSize = sizeof(kRequest) + 2;

struct PeerPorts {
  uint16_t module;
  uint16_t echo;
};

PeerPorts gPorts;

// ---- child process: the peers ----

bool sendAll(platform::SocketHandle socket, const uint8_t* bytes, size_t count) {
  size_t done = 0;
  while (done < count) {
    size_t sent = 0;
    platform::NetResult result = platform::socketSend(socket, bytes + done, count - done, &sent);
    if (result != platform::NetResult::Ok && result != platform::NetResult::WouldBlock) return false;
    done += sent;
  }
  return true;
}

void serveEcho(platform::SocketHandle socket, const std::atomic<bool>& stop) {
  uint8_t buffer[256];
  while (!stop) {
    if (!platform::socketWaitReadable(socket, 100)) continue;
    size_t received = 0;
    platform::NetResult result = platform::socketReceive(socket, buffer, sizeof(buffer), &received);
    if (result == platform::NetResult::WouldBlock) continue;
    if (result != platform::NetResult::Ok || !sendAll(socket, buffer, received)) break;
  }
  platform::socketClose(socket);
}

[[noreturn]] void runPeers(int portPipe, int stopPipe) {
  platform::socketStartup();
  simmodule::ModuleConfig module;
  module.address = kModuleAddress;
  simmodule::Simulator sim(module);  // default endpoint: a heartbeat every second
  sim.primary().onCommand(kEchoCommand, [](simmodule::Module& m, const simmodule::Packet& p) {
    m.send(p.data, p.length);
  });
  const uint32_t loopback = platform::ipv4Loopback();
  if (!sim.listenTcp(loopback, 0) || !sim.start()) _exit(2);
  platform::SocketHandle listener = platform::tcpListen(loopback, 0, 4);
  if (listener == platform::kNoSocket) _exit(2);
  std::atomic<bool> stop{false};
  std::thread echo([&] {
    while (!stop) {
      platform::SocketHandle socket = platform::tcpAccept(listener, 100);
      if (socket != platform::kNoSocket) {
        platform::socketSetNoDelay(socket);
        platform::socketSetNonBlocking(socket);
        serveEcho(socket, stop);
      }
    }
  });
  PeerPorts ports{sim.tcpPort(), platform::socketLocalPort(listener)};
  if (write(portPipe, &ports, sizeof(ports)) != static_cast<ssize_t>(sizeof(ports))) _exit(2);
  char byte;
  while (read(stopPipe, &byte, 1) > 0) {
  }
  stop = true;
  echo.join();
  platform::socketClose(listener);
  sim.stop();
  _exit(0);
}

// ---- parent process: the measurements ----

const int kBlockRoundTrips = 200;
const int kBlockPairs = 15;
const int kIdleSeconds = 10;
const int kIdleWindows = 3;

uint8_t isEchoReply(const aPacket* packet, const void*) {
  return packet->dataSize == sizeof(kRequest) && packet->data[0] == kEchoCommand;
}

// Times the calling thread has slept so far.
long callerSleeps() {
  std::ifstream status("/proc/thread-self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::stol(line.substr(line.find(':') + 1));
  return 0;
}

// Mean microseconds per round trip of one block; 0 when one failed. Adds
// the caller's sleeps per round trip to `sleeps`.
double linkBlock(aLinkRef link, const aPacket* request, std::vector<double>* sleeps = nullptr) {
  const long before = callerSleeps();
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < kBlockRoundTrips; ++i) {
    aLink_PutPacket(link, request);
    aPacket* reply = aLink_AwaitFirst(link, isEchoReply, nullptr, 1000);
    if (!reply) return 0;
    aPacket_Destroy(&reply);
  }
  const double us = secondsSince(start) * 1e6 / kBlockRoundTrips;
  if (sleeps) sleeps->push_back(static_cast<double>(callerSleeps() - before) / kBlockRoundTrips);
  return us;
}

double bareBlock(platform::SocketHandle socket, std::vector<double>* sleeps = nullptr) {
  const long before = callerSleeps();
  uint8_t wire[kWireSize] = {kModuleAddress, sizeof(kRequest), kRequest[0], kRequest[1], kRequest[2]};
  uint8_t back[kWireSize];
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < kBlockRoundTrips; ++i) {
    if (!sendAll(socket, wire, kWireSize)) return 0;
    size_t have = 0;
    while (have < kWireSize) {
      if (!platform::socketWaitReadable(socket, 1000)) return 0;
      size_t received = 0;
      platform::NetResult result = platform::socketReceive(socket, back + have, kWireSize - have, &received);
      if (result == platform::NetResult::Ok)
        have += received;
      else if (result != platform::NetResult::WouldBlock)
        return 0;
    }
  }
  const double us = secondsSince(start) * 1e6 / kBlockRoundTrips;
  if (sleeps) sleeps->push_back(static_cast<double>(callerSleeps() - before) / kBlockRoundTrips);
  return us;
}

// Runs one side's blocks on a thread of its own, so that each side's thread
// has only its own history with the scheduler (a caller that polls for its
// reply looks busy to it). The placement of the peer's threads is shared all
// the same: on an idle machine the bare ping-pong can run slower right after
// polling link blocks, so read the link's own round trip beside the ratio.
class SideThread {
 public:
  SideThread() : thread_([this] { loop(); }) {}
  ~SideThread() {
    {
      std::lock_guard<std::mutex> guard(lock_);
      quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  double run(std::function<double()> block) {
    std::unique_lock<std::mutex> guard(lock_);
    block_ = std::move(block);
    done_ = false;
    changed_.notify_all();
    changed_.wait(guard, [this] { return done_; });
    return result_;
  }

 private:
  void loop() {
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
      changed_.wait(guard, [this] { return quit_ || block_; });
      if (quit_) return;
      std::function<double()> block = std::move(block_);
      block_ = nullptr;
      guard.unlock();
      const double result = block();
      guard.lock();
      result_ = result;
      done_ = true;
      changed_.notify_all();
    }
  }

  std::mutex lock_;
  std::condition_variable changed_;
  std::function<double()> block_;
  double result_ = 0;
  bool done_ = false;
  bool quit_ = false;
  std::thread thread_;  // last: starts once the rest is made
};

void BM_LinkRoundTripRatio(benchmark::State& state) {
  aLinkRef link = aLink_CreateTCPIP(platform::ipv4Loopback(), gPorts.module);
  platform::SocketHandle socket = platform::tcpSocket();
  const bool bareUp =
      platform::tcpConnect(socket, platform::ipv4Loopback(), gPorts.echo, 3000) == platform::NetResult::Ok;
  if (!link || !waitStatus(link, LINK_RUNNING) || !bareUp) {
    state.SkipWithError("no link to the simulated module or no echo peer");
    if (link) aLink_Destroy(&link);
    platform::socketClose(socket);
    return;
  }
  platform::socketSetNoDelay(socket);
  aPacket* request = aPacket_CreateWithData(kModuleAddress, sizeof(kRequest), kRequest);
  std::vector<double> linkUs, bareUs, ratios, linkSleeps, bareSleeps;
  SideThread linkSide, bareSide;
  auto linkRun = [&](std::vector<double>* sleeps) {
    return linkSide.run([&, sleeps] { return linkBlock(link, request, sleeps); });
  };
  auto bareRun = [&](std::vector<double>* sleeps) {
    return bareSide.run([&, sleeps] { return bareBlock(socket, sleeps); });
  };
  for (auto _ : state) {
    linkRun(nullptr);  // warm both paths up
    bareRun(nullptr);
    for (int pair = 0; pair < kBlockPairs; ++pair) {
      // The side that goes first alternates, so neither always follows the other.
      double l = 0, b = 0;
      if (pair % 2) {
        b = bareRun(&bareSleeps);
        l = linkRun(&linkSleeps);
      } else {
        l = linkRun(&linkSleeps);
        b = bareRun(&bareSleeps);
      }
      if (l <= 0 || b <= 0) {
        state.SkipWithError("a round trip got no reply within 1000 ms");
        break;
      }
      linkUs.push_back(l);
      bareUs.push_back(b);
      ratios.push_back(l / b);
    }
    state.SetIterationTime(1);
  }
  aPacket_Destroy(&request);
  aLink_Destroy(&link);
  platform::socketClose(socket);
  if (ratios.empty()) return;
  state.counters["ratio_median"] = spreadOf(ratios).median;
  std::printf("\nLink round trip (UEI-sized echo over TCP loopback), %d block pairs of %d round trips:\n",
              kBlockPairs, kBlockRoundTrips);
  printFigure("link round trip", linkUs, "us", "-");
  printFigure("bare socket ping-pong", bareUs, "us", "-");
  printFigure("link round trip / bare socket ping-pong", ratios, "x", "<= 2, aim <= 1.5");
  // Each time the caller sleeps costs a wake-up, slow on an idle machine:
  // the bare ping-pong sleeps once per round trip.
  printFigure("caller sleeps per link round trip", linkSleeps, "", "-");
  printFigure("caller sleeps per bare round trip", bareSleeps, "", "-");
}
BENCHMARK(BM_LinkRoundTripRatio)->Iterations(1)->UseManualTime();

// ---- idle cost, from the threads' own counters ----

std::set<std::string> taskIds() {
  std::set<std::string> ids;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(dir))
      if (entry->d_name[0] != '.') ids.insert(entry->d_name);
    closedir(dir);
  }
  return ids;
}

struct TaskCounters {
  double cpuSeconds = 0;
  long switches = 0;  // voluntary and involuntary: every time the thread ran anew
};

// Run time from the scheduler's own account (nanoseconds, unlike the clock
// ticks of stat), and the times the thread was switched in.
TaskCounters countersOf(const std::string& task) {
  TaskCounters c;
  std::ifstream schedstat("/proc/self/task/" + task + "/schedstat");
  unsigned long long runNs = 0;
  if (schedstat >> runNs) c.cpuSeconds = static_cast<double>(runNs) / 1e9;
  std::ifstream status("/proc/self/task/" + task + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.find("ctxt_switches:") != std::string::npos) c.switches += std::stol(line.substr(line.find(':') + 1));
  return c;
}

TaskCounters sumOf(const std::set<std::string>& tasks) {
  TaskCounters total;
  for (const std::string& task : tasks) {
    const TaskCounters c = countersOf(task);
    total.cpuSeconds += c.cpuSeconds;
    total.switches += c.switches;
  }
  return total;
}

void BM_IdleLink(benchmark::State& state) {
  const std::set<std::string> before = taskIds();
  aLinkRef link = aLink_CreateTCPIP(platform::ipv4Loopback(), gPorts.module);
  if (!link || !waitStatus(link, LINK_RUNNING)) {
    state.SkipWithError("no link to the simulated module");
    if (link) aLink_Destroy(&link);
    return;
  }
  std::set<std::string> linkTasks;
  for (const std::string& task : taskIds())
    if (!before.count(task)) linkTasks.insert(task);
  std::vector<double> cpuPercent, wakeups;
  for (auto _ : state) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // past the start-up exchange
    for (int window = 0; window < kIdleWindows; ++window) {
      const TaskCounters start = sumOf(linkTasks);
      const Clock::time_point begin = Clock::now();
      std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
      const double wall = secondsSince(begin);
      const TaskCounters end = sumOf(linkTasks);
      cpuPercent.push_back((end.cpuSeconds - start.cpuSeconds) / wall * 100);
      wakeups.push_back(static_cast<double>(end.switches - start.switches) / wall);
    }
    state.SetIterationTime(1);
  }
  const linkStatus status = aLink_GetStatus(link);
  aLink_Destroy(&link);
  std::printf("\nIdle connected link (%zu link threads, status %d; the module sends a heartbeat every second), "
              "%d windows of %d s:\n",
              linkTasks.size(), static_cast<int>(status), kIdleWindows, kIdleSeconds);
  printFigure("idle link CPU", cpuPercent, "% core", "<= 0.5, aim <= 0.1");
  printFigure("idle link wake-ups", wakeups, "/s", "aim <= 10");
}
BENCHMARK(BM_IdleLink)->Iterations(1)->UseManualTime();

}  // namespace

int main(int argc, char** argv) {
  // The peers run in a child made before this process starts any thread.
  int portPipe[2];
  int stopPipe[2];
  if (pipe(portPipe) != 0 || pipe(stopPipe) != 0) return 1;
  pid_t child = fork();
  if (child < 0) return 1;
  if (child == 0) {
    close(portPipe[0]);
    close(stopPipe[1]);
    runPeers(portPipe[1], stopPipe[0]);
  }
  close(portPipe[1]);
  close(stopPipe[0]);
  if (read(portPipe[0], &gPorts, sizeof(gPorts)) != static_cast<ssize_t>(sizeof(gPorts))) {
    std::fprintf(stderr, "link_bench: the peer process did not start\n");
    return 1;
  }

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  close(stopPipe[1]);
  int status = 0;
  waitpid(child, &status, 0);
  return 0;
}
