#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs every test, then builds with ThreadSanitizer and runs the tests
# labelled "threaded", then builds the Debian packages and checks them
# (scripts/package.sh), then the bounded fuzzing runs. Exits non-zero on the
# first failure.
#
#   scripts/test.sh
#
# Environment: JOBS (build and test jobs, default 2), BUILD_TYPE (default
# Debug), FUZZ_SECONDS (seconds per fuzz target, default 30; 0 skips fuzzing).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-2}
build_type=${BUILD_TYPE:-Debug}
fuzz_seconds=${FUZZ_SECONDS:-30}
started=$SECONDS

"$here/scripts/install-deps.sh"

# Runs ctest in a build directory and keeps its summary line for the end.
summaries=()
run_ctest() {
  local dir=$1; shift
  local log="$dir/ctest.log"
  set +e
  (cd "$dir" && ctest --output-on-failure -j "$jobs" "$@") 2>&1 | tee "$log"
  local status=${PIPESTATUS[0]}
  set -e
  summaries+=("$(grep -E 'tests passed, [0-9]+ tests? failed out of' "$log" | tail -n 1)")
  return "$status"
}

configure_and_build() {
  local dir=$1; shift
  echo "== configure $dir"
  mkdir -p "$dir"
  cmake -S "$here" -B "$dir" -DCMAKE_BUILD_TYPE="$build_type" "$@" >"$dir/configure.log" 2>&1 ||
    { cat "$dir/configure.log"; exit 1; }
  echo "== build $dir"
  local t=$SECONDS
  cmake --build "$dir" -j "$jobs" >"$dir/build.log" 2>&1 || { tail -n 80 "$dir/build.log"; exit 1; }
  echo "   built in $((SECONDS - t)) s"
}

asan="$here/build-asan"
configure_and_build "$asan" -DUPDATER_SANITIZE="address;undefined" -DUPDATER_BUILD_BENCH=OFF
echo "== tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
run_ctest "$asan"

tsan="$here/build-tsan"
configure_and_build "$tsan" -DUPDATER_SANITIZE=thread -DUPDATER_BUILD_BENCH=OFF
echo "== threaded tests (ThreadSanitizer)"
run_ctest "$tsan" -L threaded

# ---- Packaging -------------------------------------------------------------
# The Debian packages from a Release build, checked with lintian and apt-get.
echo "== packages"
JOBS="$jobs" "$here/scripts/package.sh"
# ----------------------------------------------------------------------------

# ---- Fuzzing hook --------------------------------------------------------
# Bounded libFuzzer runs live in scripts/fuzz.sh (its own clang build).
if [[ -x "$here/scripts/fuzz.sh" && "$fuzz_seconds" != 0 ]]; then
  echo "== fuzzing (${fuzz_seconds}s per target)"
  FUZZ_JOBS="$jobs" "$here/scripts/fuzz.sh" "$fuzz_seconds"
fi
# --------------------------------------------------------------------------

echo "== done in $((SECONDS - started)) s"
for line in "${summaries[@]}"; do echo "   $line"; done
# Both test runs together, as the closing line.
passed=0; failed=0
for line in "${summaries[@]}"; do
  if [[ $line =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
    failed=$((failed + BASH_REMATCH[1]))
    passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
  fi
done
echo "ctest: $passed passed, $failed failed"
