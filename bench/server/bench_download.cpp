// Download throughput of a 1 MiB BIRD file from the reference update server
// on loopback: the GetBuild request alone (HTTP plus reply parsing), with the
// base64 decoding, and the whole -G retrieval into a store.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <random>

#include "RecordingDisplay.h"
#include "ServerProcess.h"
#include "TempDir.h"
#include "UpdaterApp.h"
#include "server/HttpTransfer.h"
#include "server/ServerComm.h"

namespace {

const uint32_t kHub = 0x40F5849A;
const size_t kBirdBytes = 1u << 20;

// One server for the whole run, serving a 1 MiB file as build 20.
ServerProcess& server() {
  static std::unique_ptr<ServerProcess> instance = [] {
    auto s = std::make_unique<ServerProcess>();
    std::string bytes(kBirdBytes, '\0');
    std::mt19937 random(20);
    for (char& c : bytes) c = static_cast<char>(random());
    ServerProcess::writeFile(s->root() + "/hub-40/20.bird", bytes);
    if (!s->start()) abort();
    return s;
  }();
  return *instance;
}

void BM_GetBuild1MiB(benchmark::State& state) {
  const std::string url = server().url();
  for (auto _ : state) {
    std::string text;
    if (!ServerCommClass::GetBuild(kHub, "hub-40", "20", &text, url.c_str(), false)) {
      state.SkipWithError("GetBuild failed");
      break;
    }
    if (state.range(0)) {
      size_t length = 0;
      unsigned char* bytes = base64Decode(text.data(), text.size(), &length);
      if (length != kBirdBytes) state.SkipWithError("wrong size");
      free(bytes);
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBirdBytes);
}
BENCHMARK(BM_GetBuild1MiB)->Arg(0)->Arg(1)->ArgName("decode")->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_RetrieveIntoStore1MiB(benchmark::State& state) {
  const std::string url = server().url();
  TempDir temp("updater-bench-");
  const std::string home = temp.path();
  RecordingDisplay display;
  UpdaterApp app(url, home, &display);
  for (auto _ : state) {
    if (app.getBuild(kHub, "20", true, false) != 20) {
      state.SkipWithError("getBuild failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBirdBytes);
}
BENCHMARK(BM_RetrieveIntoStore1MiB)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
