// Benchmark of -U: a 256 KiB firmware image sent to the simulated module over
// TCP loopback by the real Updater program. Prints the time, the image bytes
// per second, the ratio to the protocol's bound (26 image bytes per round
// trip, with the round trip of a bare socket measured in the same run) and
// the peak memory of the Updater process.
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

#include "BirdWriter.h"
#include "ChildProcess.h"
#include "SimModule.h"
#include "SimUpgrade.h"
#include "SimDiscovery.h"

namespace {

constexpr uint32_t kImageBytes = 256 * 1024;
constexpr uint32_t kSerial = 0x40F5849A;
constexpr uint8_t kModel = 5;  // "Birch"
constexpr uint16_t kLoaderBlockSize = 2048;
constexpr uint32_t kPieceBytes = 26;

struct Figures {
  double seconds = 0;
  double bytesPerSecond = 0;
  double roundTripUs = 0;
  double boundSeconds = 0;
  double ratio = 0;
  double transferSeconds = 0;  // INIT to REBOOT, as the module saw it
  double transferRatio = 0;
  long maxRssKiB = 0;
  int exitCode = -1;
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

void BM_Update256KiB(benchmark::State& state) {
  for (auto _ : state) {
    figures.roundTripUs = bareSocketRoundTripUs(5000);
    const std::string directory = makeTempDir("bench-update-");
    const std::string bird = makeBird(directory);
    simmodule::ModuleConfig module;
    module.serialNumber = kSerial;
    module.model = kModel;
    module.firmwareVersion = 0x10000001;
    module.build = 100;
    simmodule::Simulator simulator(module);
    simmodule::UpgradeSettings settings;
    settings.faults.blockSize = kLoaderBlockSize;
    settings.faults.rebootDelayMs = 200;
    std::unique_ptr<simmodule::DiscoveryResponder> discovery;
    bool ready = !bird.empty() && simulator.listenTcp(htonl(INADDR_ANY), 0) && simulator.start();
    if (ready) {
      discovery = std::make_unique<simmodule::DiscoveryResponder>(module, simulator.tcpPort());
      discovery->followRestarts(&simulator);
      ready = discovery->start(inet_addr("10.77.0.1"));
    }
    if (!ready) {
      state.SkipWithError("cannot set up the simulated module");
      removeTree(directory);
      return;
    }
    simmodule::configureUpgrade(simulator, settings);
    const RunResult run = runProgram(
        {UPDATER_EXE, "-U", "-d", "40F5849A", "-f", bird}, {"HOME=" + directory}, 300);
    simmodule::inspectUpgrade(simulator, [&](simmodule::UpgradeState& s) {
      figures.transferSeconds = s.rebootMs > s.initMs ? (s.rebootMs - s.initMs) / 1000.0 : 0;
    });
    discovery->stop();
    simulator.stop();
    removeTree(directory);
    figures.exitCode = run.exitCode;
    figures.seconds = run.seconds;
    figures.maxRssKiB = run.maxRssKiB;
    figures.bytesPerSecond = run.seconds > 0 ? kImageBytes / run.seconds : 0;
    figures.boundSeconds = (static_cast<double>(kImageBytes) / kPieceBytes) * figures.roundTripUs / 1e6;
    figures.ratio = run.seconds > 0 ? figures.boundSeconds / run.seconds : 0;
    figures.transferRatio =
        figures.transferSeconds > 0 ? figures.boundSeconds / figures.transferSeconds : 0;
    if (run.exitCode != 0) {
      fprintf(stderr, "%s%s", run.out.c_str(), run.err.c_str());
      state.SkipWithError("the update failed");
      return;
    }
    state.SetIterationTime(run.seconds);
    state.counters["image_bytes_per_s"] = figures.bytesPerSecond;
    state.counters["ratio_to_bound"] = figures.ratio;
    state.counters["bare_rtt_us"] = figures.roundTripUs;
    state.counters["peak_rss_KiB"] = static_cast<double>(figures.maxRssKiB);
  }
}
BENCHMARK(BM_Update256KiB)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// Discovery multicast must stay inside a namespace of our own.
void enterNetworkNamespace(int argc, char** argv) {
  if (getenv("BENCH_UPDATE_IN_NETNS")) return;
  setenv("BENCH_UPDATE_IN_NETNS", "1", 1);
  std::vector<char*> args = {const_cast<char*>("unshare"), const_cast<char*>("-rn"),
                             const_cast<char*>("sh"), const_cast<char*>("-c"),
                             const_cast<char*>("ip link set lo up && ip link set lo multicast on && "
                                               "ip addr add 10.77.0.1/32 dev lo && "
                                               "ip route add 224.0.0.0/4 dev lo && exec \"$0\" \"$@\"")};
  for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
  args.push_back(nullptr);
  execvp("unshare", args.data());
  perror("bench_update: unshare");
  exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  enterNetworkNamespace(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (figures.exitCode != 0) return 1;
  printf("\n-U of a %u KiB image over TCP loopback (loader block size %u):\n", kImageBytes / 1024,
         kLoaderBlockSize);
  printf("  time                 %.3f s (discovery and reboot wait included)\n", figures.seconds);
  printf("  image bytes/s        %.0f\n", figures.bytesPerSecond);
  printf("  bare-socket RTT      %.1f us\n", figures.roundTripUs);
  printf("  protocol bound       %.3f s (%u bytes / 26 per round trip x RTT)\n", figures.boundSeconds,
         kImageBytes);
  printf("  ratio to the bound   %.4f\n", figures.ratio);
  printf("  transfer INIT..REBOOT %.3f s, %.0f image bytes/s, ratio to the bound %.4f\n",
         figures.transferSeconds,
         figures.transferSeconds > 0 ? kImageBytes / figures.transferSeconds : 0,
         figures.transferRatio);
  printf("  peak memory (RSS)    %ld KiB\n", figures.maxRssKiB);
  return 0;
}
