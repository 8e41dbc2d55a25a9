#ifndef BENCH_SUPPORT_BENCHFIGURES_H
#define BENCH_SUPPORT_BENCHFIGURES_H
// Figures of a benchmark that repeats its measurement: min, median and max of
// the samples, printed beside the target, and one machine-readable line per
// figure ("FIGURE|name|min|median|max|unit|target") that scripts/bench.sh
// gathers into its table.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

struct Spread {
  double min = 0;
  double median = 0;
  double max = 0;
};

inline Spread spreadOf(std::vector<double> samples) {
  Spread s;
  if (samples.empty()) return s;
  std::sort(samples.begin(), samples.end());
  s.min = samples.front();
  s.max = samples.back();
  const size_t n = samples.size();
  s.median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
  return s;
}

inline void printFigure(const std::string& name, const std::vector<double>& samples, const std::string& unit,
                        const std::string& target) {
  const Spread s = spreadOf(samples);
  std::printf("  %-44s min %10.4g  median %10.4g  max %10.4g %-6s (target %s; %zu samples)\n", name.c_str(), s.min,
              s.median, s.max, unit.c_str(), target.c_str(), samples.size());
  std::printf("FIGURE|%s|%.6g|%.6g|%.6g|%s|%s\n", name.c_str(), s.min, s.median, s.max, unit.c_str(), target.c_str());
  std::fflush(stdout);
}

inline double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

#endif
