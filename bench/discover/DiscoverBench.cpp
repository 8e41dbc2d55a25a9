// Benchmarks of discovery by the real Updater against a simulated routing
// module, each three times (BENCH_RUNS changes the count): -D -r, which lists
// the module's network on which no other address answers, and -D -t TCPIP,
// whose time is the protocol's 2 s answer window and what the program adds
// to it. Prints min/median/max of the whole command's time and checks that
// the listing shows the router.
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

std::vector<double> gSeconds;       // -D -r
std::vector<double> gTcpipSeconds;  // -D -t TCPIP
bool gFailed = false;

int runCount() {
  const char* runs = getenv("BENCH_RUNS");
  return runs && atoi(runs) > 0 ? atoi(runs) : 3;
}

RunResult runUpdater(const std::string& home, const std::vector<std::string>& arguments) {
  const char* exe = getenv("BENCH_UPDATER_EXE");
  std::vector<std::string> env = {"HOME=" + home};
  if (const char* libs = getenv("BENCH_UPDATER_LIBS")) env.push_back(std::string("LD_LIBRARY_PATH=") + libs);
  std::vector<std::string> argv = {exe ? exe : UPDATER_EXE};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return runProgram(argv, env, 600);
}

// Runs the command runCount() times against a simulated router that
// discovery finds, adding each time to `seconds` while the output holds
// `expected`.
void timeAgainstRouter(benchmark::State& state, const std::vector<std::string>& arguments,
                       const std::string& expected, std::vector<double>* seconds) {
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
  TempDir temp("bench-discover-");
  for (int i = 0; i < runCount(); ++i) {
    const RunResult run = runUpdater(temp.path(), arguments);
    if (run.exitCode != 0 || run.out.find(expected) == std::string::npos) {
      fprintf(stderr, "%s%s", run.out.c_str(), run.err.c_str());
      gFailed = true;
      state.SkipWithError("the command failed or did not list the router");
      break;
    }
    seconds->push_back(run.seconds);
  }
  discovery.stop();
  simulator.stop();
}

void BM_RouterScanSilentAddresses(benchmark::State& state) {
  for (auto _ : state) {
    timeAgainstRouter(state, {"-D", "-r", kRouterSerialText}, "D272031D  02       02", &gSeconds);
    state.SetIterationTime(1);
  }
}
BENCHMARK(BM_RouterScanSilentAddresses)->Iterations(1)->UseManualTime();

void BM_DiscoverTcpip(benchmark::State& state) {
  for (auto _ : state) {
    timeAgainstRouter(state, {"-D", "-t", "TCPIP"}, kRouterSerialText, &gTcpipSeconds);
    state.SetIterationTime(1);
  }
}
BENCHMARK(BM_DiscoverTcpip)->Iterations(1)->UseManualTime();

}  // namespace

int main(int argc, char** argv) {
  enterNetworkNamespace(argc, argv, "bench_router_scan");
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (gFailed || gSeconds.empty() || gTcpipSeconds.empty()) return 1;
  printf("\n-D -r of a routing module whose other 125 addresses are silent, %zu runs:\n", gSeconds.size());
  printFigure("-D -r with silent addresses", gSeconds, "s", "<= 2.5, aim <= 1.2");
  printf("\n-D -t TCPIP finding the same module, %zu runs:\n", gTcpipSeconds.size());
  printFigure("-D -t TCPIP", gTcpipSeconds, "s", "stays <= 2.1 (2 s answer window)");
  return 0;
}
