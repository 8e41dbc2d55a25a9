// Benchmark of -U: a 256 KiB firmware image sent to the simulated module over
// TCP loopback by the real Updater program, three times. Each run sits
// between two blocks of bare-socket round trips (the protocol's bound is 26
// image bytes per round trip), so the ratio of each run is taken against the
// machine as it was during that run. Prints min/median/max of the time, the
// ratio to the bound, the time from REBOOT to the program's end and the peak
// memory of the Updater process.
//
// BENCH_UPDATER_EXE and BENCH_UPDATER_LIBS (a library directory) run another
// Updater build against the same module, for figures taken before a change.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "../support/BenchFigures.h"
#include "../support/BenchNetns.h"
#include "BirdWriter.h"
#include "ChildProcess.h"
#include "TempDir.h"
#include "SimModule.h"
#include "SimUpgrade.h"
#include "SimDiscovery.h"
#include "platform/time.h"

namespace {

constexpr uint32_t kImageBytes = 256 * 1024;
constexpr uint32_t kSerial = 0x40F5849A;
constexpr uint8_t kModel = 5;  // "Birch"
constexpr uint16_t kLoaderBlockSize = 2048;
constexpr uint32_t kPieceBytes = 26;

constexpr int kRuns = 3;
constexpr int kRoundTripsPerBlock = 2000;

struct Figures {
  std::vector<double> seconds, ratio, transferRatio, afterRebootMs, rssMiB, rttUs;
  bool failed = false;
};
Figures figures;

// Mean round trip of a 30-byte request and a 3-byte reply (a DATA packet and
// its answer on the wire) between two threads over a loopback socket.
double bareSocketRoundTripUs(int rounds) {
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 1) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(listener);
    return 0;
  }
  std::thread echo([&] {
    const int peer = accept(listener, nullptr, nullptr);
    const int one = 1;
    setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    uint8_t buffer[30];
    for (int i = 0; i < rounds; ++i) {
      size_t have = 0;
      while (have < sizeof buffer) {
        const ssize_t n = read(peer, buffer + have, sizeof buffer - have);
        if (n <= 0) break;
        have += static_cast<size_t>(n);
      }
      if (write(peer, buffer, 3) != 3) break;
    }
    close(peer);
  });
  const int client = socket(AF_INET, SOCK_STREAM, 0);
  const int one = 1;
  setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  double us = 0;
  if (connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    uint8_t request[30] = {2, 28, 95, 1};
    uint8_t reply[3];
    const auto start = std::chrono::steady_clock::now();
    int done = 0;
    for (; done < rounds; ++done) {
      if (write(client, request, sizeof request) != sizeof request) break;
      size_t have = 0;
      while (have < sizeof reply) {
        const ssize_t n = read(client, reply + have, sizeof reply - have);
        if (n <= 0) break;
        have += static_cast<size_t>(n);
      }
    }
    const auto end = std::chrono::steady_clock::now();
    if (done > 0) us = std::chrono::duration<double, std::micro>(end - start).count() / done;
  }
  close(client);
  echo.join();
  close(listener);
  return us;
}

std::string makeBird(const std::string& directory) {
  Bytes code(kImageBytes);
  uint32_t x = 0x12345678;
  for (uint8_t& b : code) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  BirdWriter writer;
  writer.addInfo("Bench", "1.0", "00000000", "Birch");
  writer.addSerialOffsets(0x08000100, 0);
  writer.addImage(1, 0x08000000, code);
  const std::string path = directory + "/bench.bird";
  return writer.writeFile(path) ? path : std::string();
}

struct RunFigures {
  RunResult run;
  double transferSeconds = 0;  // INIT to REBOOT, as the module saw it
  double afterRebootMs = 0;    // REBOOT to the program's end
};

std::vector<std::string> updaterCommand(const std::string& bird) {
  const char* exe = getenv("BENCH_UPDATER_EXE");
  return {exe ? exe : UPDATER_EXE, "-U", "-d", "40F5849A", "-f", bird};
}

std::vector<std::string> updaterEnvironment(const std::string& home) {
  std::vector<std::string> env = {"HOME=" + home};
  if (const char* libs = getenv("BENCH_UPDATER_LIBS")) env.push_back(std::string("LD_LIBRARY_PATH=") + libs);
  return env;
}

// One -U against a fresh simulated module; false when it could not be set up.
bool runUpdate(const std::string& directory, const std::string& bird, RunFigures* out) {
  simmodule::ModuleConfig module;
  module.serialNumber = kSerial;
  module.model = kModel;
  module.firmwareVersion = 0x10000001;
  module.build = 100;
  simmodule::Simulator simulator(module);
  simmodule::UpgradeSettings settings;
  settings.faults.blockSize = kLoaderBlockSize;
  settings.faults.rebootDelayMs = 200;
  if (!simulator.listenTcp(htonl(INADDR_ANY), 0) || !simulator.start()) return false;
  simmodule::DiscoveryResponder discovery(module, simulator.tcpPort());
  discovery.followRestarts(&simulator);
  if (!discovery.start(inet_addr("10.77.0.1"))) return false;
  simmodule::configureUpgrade(simulator, settings);
  out->run = runProgram(updaterCommand(bird), updaterEnvironment(directory), 300);
  const uint64_t endMs = platform::monotonicMilliseconds();
  simmodule::inspectUpgrade(simulator, [&](simmodule::UpgradeState& s) {
    out->transferSeconds = s.rebootMs > s.initMs ? (s.rebootMs - s.initMs) / 1000.0 : 0;
    out->afterRebootMs = s.rebootMs ? static_cast<double>(endMs - s.rebootMs) : 0;
  });
  discovery.stop();
  simulator.stop();
  return true;
}

void BM_Update256KiB(benchmark::State& state) {
  for (auto _ : state) {
    TempDir temp("bench-update-");
    const std::string directory = temp.path();
    const std::string bird = makeBird(directory);
    if (bird.empty()) state.SkipWithError("cannot write the BIRD file");
    double before = bareSocketRoundTripUs(kRoundTripsPerBlock);
    for (int i = 0; i < kRuns && !bird.empty(); ++i) {
      RunFigures run;
      if (!runUpdate(directory, bird, &run)) {
        state.SkipWithError("cannot set up the simulated module");
        break;
      }
      const double after = bareSocketRoundTripUs(kRoundTripsPerBlock);
      if (run.run.exitCode != 0) {
        fprintf(stderr, "%s%s", run.run.out.c_str(), run.run.err.c_str());
        figures.failed = true;
        state.SkipWithError("the update failed");
        break;
      }
      const double rtt = (before + after) / 2;
      const double bound = (static_cast<double>(kImageBytes) / kPieceBytes) * rtt / 1e6;
      figures.rttUs.push_back(rtt);
      figures.seconds.push_back(run.run.seconds);
      figures.ratio.push_back(run.run.seconds > 0 ? bound / run.run.seconds : 0);
      figures.transferRatio.push_back(run.transferSeconds > 0 ? bound / run.transferSeconds : 0);
      figures.afterRebootMs.push_back(run.afterRebootMs);
      figures.rssMiB.push_back(run.run.maxRssKiB / 1024.0);
      before = after;
    }
    state.SetIterationTime(1);
  }
}
BENCHMARK(BM_Update256KiB)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  enterNetworkNamespace(argc, argv, "bench_update");
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (figures.failed || figures.seconds.empty()) return 1;
  printf("\n-U of a %u KiB image over TCP loopback (loader block size %u), %zu runs:\n", kImageBytes / 1024,
         kLoaderBlockSize, figures.seconds.size());
  printFigure("-U time (discovery and reboot wait included)", figures.seconds, "s", "-");
  printFigure("bare-socket round trip beside each run", figures.rttUs, "us", "-");
  printFigure("-U bound / time (26 image bytes per RTT)", figures.ratio, "x", ">= 0.5, aim >= 0.6");
  printFigure("-U bound / transfer INIT..REBOOT", figures.transferRatio, "x", "-");
  printFigure("-U time after REBOOT", figures.afterRebootMs, "ms", "<= 30 after the link drops");
  printFigure("-U peak RSS", figures.rssMiB, "MiB", "<= 11 MB");
  return 0;
}
