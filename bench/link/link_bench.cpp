// Packet link figures, measured against a peer in a child process (as a real
// module is another machine): the simulated module with a debug-echo
// command, and beside it a bare TCP echo for the raw socket baseline.
//
//   link_bench [benchmark options]
//
// Prints the round-trip rates of a small request and reply through aLink and
// of a bare socket ping-pong of the same size on the same loopback, their
// ratio, and the CPU time an idle connected link costs per second.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

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
double gLinkRate = 0;
double gRawRate = 0;

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

uint8_t isEchoReply(const aPacket* packet, const void*) {
  return packet->dataSize == sizeof(kRequest) && packet->data[0] == kEchoCommand;
}

bool waitRunning(aLinkRef link) {
  const Clock::time_point start = Clock::now();
  while (aLink_GetStatus(link) != LINK_RUNNING) {
    if (Clock::now() - start > std::chrono::seconds(10)) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

double perSecond(int64_t count, Clock::time_point start) {
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return seconds > 0 ? static_cast<double>(count) / seconds : 0;
}

void BM_LinkRoundTrip(benchmark::State& state) {
  aLinkRef link = aLink_CreateTCPIP(platform::ipv4Loopback(), gPorts.module);
  if (!link || !waitRunning(link)) {
    state.SkipWithError("no link to the simulated module");
    if (link) aLink_Destroy(&link);
    return;
  }
  aPacket* request = aPacket_CreateWithData(kModuleAddress, sizeof(kRequest), kRequest);
  const Clock::time_point start = Clock::now();
  for (auto _ : state) {
    aLink_PutPacket(link, request);
    aPacket* reply = aLink_AwaitFirst(link, isEchoReply, nullptr, 1000);
    if (!reply) {
      state.SkipWithError("no reply within 1000 ms");
      break;
    }
    aPacket_Destroy(&reply);
  }
  gLinkRate = perSecond(state.iterations(), start);
  state.counters["round_trips"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  aPacket_Destroy(&request);
  aLink_Destroy(&link);
}
BENCHMARK(BM_LinkRoundTrip)->UseRealTime()->MinTime(2.0);

void BM_RawSocketPingPong(benchmark::State& state) {
  platform::SocketHandle socket = platform::tcpSocket();
  if (platform::tcpConnect(socket, platform::ipv4Loopback(), gPorts.echo, 3000) != platform::NetResult::Ok) {
    state.SkipWithError("no connection to the echo peer");
    platform::socketClose(socket);
    return;
  }
  platform::socketSetNoDelay(socket);
  uint8_t wire[kWireSize] = {kModuleAddress, sizeof(kRequest), kRequest[0], kRequest[1], kRequest[2]};
  uint8_t back[kWireSize];
  const Clock::time_point start = Clock::now();
  for (auto _ : state) {
    if (!sendAll(socket, wire, kWireSize)) {
      state.SkipWithError("send failed");
      break;
    }
    size_t have = 0;
    while (have < kWireSize) {
      if (!platform::socketWaitReadable(socket, 1000)) break;
      size_t received = 0;
      platform::NetResult result = platform::socketReceive(socket, back + have, kWireSize - have, &received);
      if (result == platform::NetResult::Ok)
        have += received;
      else if (result != platform::NetResult::WouldBlock)
        break;
    }
    if (have < kWireSize) {
      state.SkipWithError("no echo within 1000 ms");
      break;
    }
  }
  gRawRate = perSecond(state.iterations(), start);
  state.counters["round_trips"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  platform::socketClose(socket);
}
BENCHMARK(BM_RawSocketPingPong)->UseRealTime()->MinTime(2.0);

double cpuMs() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec * 1000.0 + usage.ru_utime.tv_usec / 1000.0 + usage.ru_stime.tv_sec * 1000.0 +
         usage.ru_stime.tv_usec / 1000.0;
}

// CPU of this process per second of wall time while the main thread sleeps.
double idleCpuMsPerSecond(int seconds) {
  const double before = cpuMs();
  const Clock::time_point start = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  return (cpuMs() - before) / wall;
}

void reportIdleLink() {
  const int kSeconds = 3;
  const double baseline = idleCpuMsPerSecond(1);
  aLinkRef link = aLink_CreateTCPIP(platform::ipv4Loopback(), gPorts.module);
  if (!link || !waitRunning(link)) {
    std::printf("idle link: no link to the simulated module\n");
    if (link) aLink_Destroy(&link);
    return;
  }
  const double idle = idleCpuMsPerSecond(kSeconds);
  const linkStatus status = aLink_GetStatus(link);
  aLink_Destroy(&link);
  std::printf("idle connected link: %.2f ms CPU per second (%.2f%% of one core; process without a link: %.2f ms/s; "
              "status during the run %d)\n",
              idle, idle / 10.0, baseline, static_cast<int>(status));
}

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
  if (gLinkRate > 0 && gRawRate > 0)
    std::printf("round trips per second: link %.0f, bare socket %.0f; bare/link ratio %.1f\n", gLinkRate, gRawRate,
                gRawRate / gLinkRate);
  reportIdleLink();
  benchmark::Shutdown();

  close(stopPipe[1]);
  int status = 0;
  waitpid(child, &status, 0);
  return 0;
}
