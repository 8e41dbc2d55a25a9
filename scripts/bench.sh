#!/usr/bin/env bash
# Builds the benchmarks in a Release build (build-release/) and runs them all:
# the link round trip against a bare socket and the idle link's cost, -U of a
# 256 KiB image, -D -r of a router with silent addresses and -G against curl.
# Prints each benchmark's own report, then one table of every figure with its
# min, median and max over the benchmark's repeated measurements and its target.
#
#   scripts/bench.sh
#
# The machine's load shows in the figures: run it on a quiet machine, and
# read ratios (both sides measured in alternating blocks) rather than times.
# Environment: JOBS (build jobs, default 2); BENCH_UPDATER_EXE and
# BENCH_UPDATER_LIBS measure another Updater build in the program-level
# benchmarks (for figures before a change).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build-release"
jobs=${JOBS:-2}

"$here/scripts/install-deps.sh"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
benches=(link/link_bench update/bench_update discover/bench_router_scan server/bench_get_vs_curl)
targets=()
for bench in "${benches[@]}"; do targets+=("$(basename "$bench")"); done
cmake --build "$build" -j "$jobs" --target "${targets[@]}"

loadBefore=$(cut -d' ' -f1-3 /proc/loadavg)
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
for bench in "${benches[@]}"; do
  echo "== $(basename "$bench")"
  if ! "$build/bench/$bench" 2>&1 | tee -a "$log" | grep -v '^FIGURE|'; then
    echo "!! $(basename "$bench") failed"
    status=1
  fi
done

table() {
  printf '%-46s %11s %11s %11s  %-7s %s\n' "Figure" "min" "median" "max" "unit" "target"
  while IFS='|' read -r _ name min median max unit target; do
    printf '%-46s %11s %11s %11s  %-7s %s\n' "$name" "$min" "$median" "$max" "$unit" "$target"
  done
}

echo
grep '^FIGURE|' "$log" | table
# The two figures that hang on the reply path's thread wake-ups, which an
# idle machine makes slow: read them from a quiet machine.
echo
echo "Reply path (load averages before the benchmarks: $loadBefore):"
grep -E '^FIGURE\|(link round trip|bare socket ping-pong|caller sleeps per|-U bound / time|bare-socket round trip)' "$log" | table
exit $status
