// ISP programming of a 256 KiB image at 115200 baud through the simulated
// boot loader on a pseudo-terminal with wire-time emulation on: our client
// (the recovery sequence) and lpc21isp, one after the other in each
// iteration. Prints seconds, payload bytes per second and the ratio to the
// wire bound of the UU-encoded transfer.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "TempDir.h"
#include "IspProgramming.h"
#include "IspSimulator.h"

namespace {

const uint32_t kBaud = 115200;
const size_t kImageSize = 256 * 1024;
const char* const kLpc21isp = "/usr/bin/lpc21isp";

// Characters on the wire for the payload alone as our client sends it: per
// chunk of 4096 bytes, lines of 45 bytes (61 characters and "\r\n"), and a
// checksum line (the decimal sum and "\r\n") answered "OK\r\n" every 20 lines.
double wireBoundSeconds(const std::vector<uint8_t>& image) {
  double characters = 0;
  for (size_t chunk = 0; chunk < image.size(); chunk += 4096) {
    size_t end = std::min(image.size(), chunk + 4096);
    size_t lines = 0;
    uint32_t sum = 0;
    for (size_t at = chunk; at < end; at += 45) {
      size_t take = std::min<size_t>(45, end - at);
      characters += ispUuLineLength(take) + 2;
      for (size_t i = 0; i < take; ++i)
        sum += image[at + i];
      if (++lines == 20 || at + take == end) {
        characters += std::to_string(sum).size() + 2 + 4;
        lines = 0;
        sum = 0;
      }
    }
  }
  return characters * 10.0 / kBaud;
}

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

IspSimOptions wireOptions() {
  IspSimOptions options;
  options.wireTime = true;
  return options;
}

double runOurs(const std::vector<uint8_t>& image, bool* ok) {
  IspSimulator sim(wireOptions());
  std::string error;
  if (!sim.start(&error)) {
    *ok = false;
    return 0;
  }
  NXPSerialISP isp;
  std::string step;
  auto start = std::chrono::steady_clock::now();
  aErr err = ispProgramImage(isp, sim.portPath(), kBaud, image, &step);
  double elapsed = seconds(start);
  std::vector<uint8_t> flash = sim.flash();
  *ok = err == aErrNone && std::equal(image.begin(), image.end(), flash.begin());
  if (!*ok)
    fprintf(stderr, "our client failed at %s: %s\n", step.c_str(), aError_GetErrorText(err));
  return elapsed;
}

double runLpc21isp(const std::string& file, const std::vector<uint8_t>& image, bool* ok) {
  IspSimulator sim(wireOptions());
  std::string error;
  if (!sim.start(&error)) {
    *ok = false;
    return 0;
  }
  auto start = std::chrono::steady_clock::now();
  RunResult run = runProgram({kLpc21isp, "-bin", file, sim.portPath(), std::to_string(kBaud), "14746"}, {}, 600);
  double elapsed = seconds(start);
  std::vector<uint8_t> flash = sim.flash();
  // lpc21isp writes the vector-table checksum into bytes 0x1C-0x1F.
  *ok = run.exitCode == 0 && std::equal(image.begin() + 0x20, image.end(), flash.begin() + 0x20);
  if (!*ok)
    fprintf(stderr, "lpc21isp failed (exit %d): %s%s\n", run.exitCode, run.out.c_str(), run.err.c_str());
  return elapsed;
}

struct Figures {
  double ours = 0, theirs = 0;
  int runs = 0;
};
Figures gFigures;

void BM_IspProgram256KiB(benchmark::State& state) {
  std::vector<uint8_t> image = ispTestImage(kImageSize, 42);
  bool haveClient = access(kLpc21isp, X_OK) == 0;
  TempDir temp("bench-isp");
  const std::string dir = temp.path();
  std::string file = dir + "/image.bin";
  FILE* f = fopen(file.c_str(), "wb");
  if (f) {
    fwrite(image.data(), 1, image.size(), f);
    fclose(f);
  }
  double bound = wireBoundSeconds(image);
  for (auto _ : state) {
    bool ok = false;
    double ours = runOurs(image, &ok);
    if (!ok) {
      state.SkipWithError("our client failed");
      break;
    }
    double theirs = 0;
    if (haveClient) {
      theirs = runLpc21isp(file, image, &ok);
      if (!ok) {
        state.SkipWithError("lpc21isp failed");
        break;
      }
    }
    state.SetIterationTime(ours);
    gFigures.ours += ours;
    gFigures.theirs += theirs;
    ++gFigures.runs;
  }
  if (gFigures.runs == 0)
    return;
  double ours = gFigures.ours / gFigures.runs;
  double theirs = gFigures.theirs / gFigures.runs;
  state.counters["ours_s"] = ours;
  state.counters["ours_Bps"] = kImageSize / ours;
  state.counters["ours_vs_wire"] = bound / ours;
  if (haveClient) {
    state.counters["lpc21isp_s"] = theirs;
    state.counters["lpc21isp_Bps"] = kImageSize / theirs;
    state.counters["lpc21isp_vs_wire"] = bound / theirs;
  }
  printf("\nISP programming of %zu bytes at %u baud, wire time emulated (10 bit times per character):\n", kImageSize,
         kBaud);
  printf("  wire bound of the UU-encoded transfer: %.2f s (%.0f payload B/s)\n", bound, kImageSize / bound);
  printf("  our client: %.2f s, %.0f payload B/s, %.3f of the wire bound (mean of %d)\n", ours, kImageSize / ours,
         bound / ours, gFigures.runs);
  if (haveClient)
    printf("  lpc21isp:   %.2f s, %.0f payload B/s, %.3f of the wire bound; ours takes %.3f of its time\n", theirs,
           kImageSize / theirs, bound / theirs, ours / theirs);
  else
    printf("  lpc21isp:   not installed (package lpc21isp), not measured\n");
}

}  // namespace

BENCHMARK(BM_IspProgram256KiB)->UseManualTime()->Iterations(2)->Unit(benchmark::kSecond);
BENCHMARK_MAIN();
