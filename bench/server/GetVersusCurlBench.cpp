// Benchmark of -G: the real Updater retrieving a 1 MiB build from the
// reference update server on loopback (its four requests: ping, current
// build, build list, the build itself, then the store), against curl fetching
// the same four replies in sequence. The two sides alternate, five times
// each; each pair gives one ratio. Skipped with a message when curl is
// missing.
//
// BENCH_UPDATER_EXE and BENCH_UPDATER_LIBS (a library directory) run another
// Updater build, for figures taken before a change.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "ServerProcess.h"
#include "ChildProcess.h"
#include "TempDir.h"
#include "../support/BenchFigures.h"

namespace {

const char kHub[] = "40F5849A";
const size_t kBirdBytes = 1u << 20;
const int kPairs = 5;

std::vector<double> gUpdater, gCurl, gRatio;
bool gFailed = false;

const char* curlPath() {
  for (const char* path : {"/usr/bin/curl", "/bin/curl", "/usr/local/bin/curl"})
    if (access(path, X_OK) == 0) return path;
  return nullptr;
}

RunResult runGet(const std::string& url, const std::string& home) {
  const char* exe = getenv("BENCH_UPDATER_EXE");
  std::vector<std::string> env = {"HOME=" + home};
  if (const char* libs = getenv("BENCH_UPDATER_LIBS")) env.push_back(std::string("LD_LIBRARY_PATH=") + libs);
  return runProgram({exe ? exe : UPDATER_EXE, "-G", "-d", kHub, "-b", "20", "-u", url}, env, 120);
}

RunResult runCurl(const char* curl, const std::string& url) {
  const std::string sn = std::string("sn=") + kHub + "&";
  std::vector<std::string> argv = {curl, "-s", "-f", "--noproxy", "*"};
  for (const std::string& query : {std::string("op=hi&rv=2&"), "op=qu&" + sn, "op=builds&" + sn,
                                   "bld=20&fw=hub-40&no_cal=false&op=bird&" + sn}) {
    argv.push_back("-o");
    argv.push_back("/dev/null");
    argv.push_back(url + "?" + query);
  }
  return runProgram(argv, {}, 120);
}

void BM_GetVersusCurl(benchmark::State& state) {
  const char* curl = curlPath();
  if (!curl) {
    std::printf("-G against curl: skipped, curl is not installed\n");
    state.SkipWithError("curl is not installed");
    return;
  }
  ServerProcess server;
  ServerProcess::writeFile(server.root() + "/catalog.txt",
                           "device 40F5849A\nfirmware hub-40\ncurrent 20\nbuild 20 2.0\nbuild 17 1.10\n");
  std::string bytes(kBirdBytes, '\0');
  std::mt19937 random(20);
  for (char& c : bytes) c = static_cast<char>(random());
  ServerProcess::writeFile(server.root() + "/hub-40/20.bird", bytes);
  if (!server.start()) {
    state.SkipWithError("cannot start the update server");
    return;
  }
  TempDir temp("bench-get-");
  const std::string home = temp.path();
  for (auto _ : state) {
    runGet(server.url(), home);  // warm both up
    runCurl(curl, server.url());
    for (int pair = 0; pair < kPairs; ++pair) {
      RunResult get, fetch;
      if (pair % 2) {
        fetch = runCurl(curl, server.url());
        get = runGet(server.url(), home);
      } else {
        get = runGet(server.url(), home);
        fetch = runCurl(curl, server.url());
      }
      if (get.exitCode != 0 || fetch.exitCode != 0) {
        fprintf(stderr, "%s%s\ncurl exit %d\n", get.out.c_str(), get.err.c_str(), fetch.exitCode);
        gFailed = true;
        state.SkipWithError("-G or curl failed");
        break;
      }
      gUpdater.push_back(get.seconds * 1000);
      gCurl.push_back(fetch.seconds * 1000);
      gRatio.push_back(get.seconds / fetch.seconds);
    }
    state.SetIterationTime(1);
  }
}
BENCHMARK(BM_GetVersusCurl)->Iterations(1)->UseManualTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (gFailed) return 1;
  if (gRatio.empty()) return 0;
  printf("\n-G of a 1 MiB build against curl fetching the same four replies, %d alternating pairs:\n", kPairs);
  printFigure("-G time", gUpdater, "ms", "-");
  printFigure("curl, four replies", gCurl, "ms", "-");
  printFigure("-G / curl", gRatio, "x", "<= 1.5, aim <= 1.2");
  return 0;
}
