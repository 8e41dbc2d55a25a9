// Benchmark of -D -r: the real Updater lists the network of a simulated
// routing module on which no other address answers, three times (BENCH_RUNS
// changes the count). Prints min/median/max of the whole command's time and
// checks that the listing shows the router.
//
// BENCH_UPDATER_EXE and BENCH_UPDATER_LIBS (a library directory) run another
// Updater build, for figures taken before a change.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../support/BenchFigures.h"
#include "../support/BenchNetns.h"
#include "ChildProcess.h"
#include "TempDir.h"
#include "SimDiscovery.h"
#include "SimModule.h"

namespace {

const char kRouterSerialText[] = "D272031D";
const uint32_t kRouterSerial = 0xD272031D;

std::vector<double> gSeconds;
bool gFailed = false;

int runCount() {
  const char* runs = getenv("BENCH_RUNS");
  return runs && atoi(runs) > 0 ? atoi(runs) : 3;
}

RunResult runScan(const std::string& home) {
  const char* exe = getenv("BENCH_UPDATER_EXE");
  std::vector<std::string> env = {"HOME=" + home};
  if (const char* libs = getenv("BENCH_UPDATER_LIBS")) env.push_back(std::string("LD_LIBRARY_PATH=") + libs);
  return runProgram({exe ? exe : UPDATER_EXE, "-D", "-r", kRouterSerialText}, env, 600);
}

void BM_RouterScanSilentAddresses(benchmark::State& state) {
  for (auto _ : state) {
    simmodule::ModuleConfig router;
    router.serialNumber = kRouterSerial;
    router.model = 4;
    router.address = 2;
    router.firmwareVersion = 0x12000003;
    router.build = 77;
    simmodule::EndpointConfig endpoint;
    endpoint.heartbeatMs = 0;
    simmodule::Simulator simulator(router, endpoint);
    if (!simulator.listenTcp(htonl(INADDR_ANY), 0) || !simulator.start()) {
      state.SkipWithError("cannot start the simulated router");
      return;
    }
    simmodule::DiscoveryResponder discovery(router, simulator.tcpPort());
    if (!discovery.start(inet_addr("10.77.0.1"))) {
      state.SkipWithError("cannot answer discovery");
      return;
    }
    TempDir temp("bench-scan-");
    const std::string home = temp.path();
    for (int i = 0; i < runCount(); ++i) {
      const RunResult run = runScan(home);
      if (run.exitCode != 0 || run.out.find("D272031D  02       02") == std::string::npos) {
        fprintf(stderr, "%s%s", run.out.c_str(), run.err.c_str());
        gFailed = true;
        state.SkipWithError("the scan failed or did not list the router");
        break;
      }
      gSeconds.push_back(run.seconds);
    }
    discovery.stop();
    simulator.stop();
    state.SetIterationTime(1);
  }
}
BENCHMARK(BM_RouterScanSilentAddresses)->Iterations(1)->UseManualTime();

}  // namespace

int main(int argc, char** argv) {
  enterNetworkNamespace(argc, argv, "bench_router_scan");
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (gFailed || gSeconds.empty()) return 1;
  printf("\n-D -r of a routing module whose other 125 addresses are silent, %zu runs:\n", gSeconds.size());
  printFigure("-D -r with silent addresses", gSeconds, "s", "<= 2.5, aim <= 1.2");
  return 0;
}
