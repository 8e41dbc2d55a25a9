#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs every test, then builds with ThreadSanitizer and runs the tests
# labelled "threaded", then builds the Debian packages and checks them
# (scripts/package.sh), then the bounded fuzzing runs, then the 32-bit Windows
# build with its tests under Wine. Exits non-zero on the
# first failure.
#
#   scripts/test.sh
#
# Environment: JOBS (build and test jobs, default 2), BUILD_TYPE (default
# Debug), FUZZ_SECONDS (seconds per fuzz target, default 15; 0 skips fuzzing),
# WINDOWS (0 skips the Windows build and its tests under Wine).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
jobs=${JOBS:-2}
build_type=${BUILD_TYPE:-Debug}
fuzz_seconds=${FUZZ_SECONDS:-15}
started=$SECONDS

"$here/scripts/install-deps.sh"

# Compiler cache: repeated runs (and CI on a machine that built before) only
# recompile what changed. Paths are taken relative to the tree, so another
# clone of the same sources hits the same entries.
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$here" CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

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
  cmake -S "$here" -B "$dir" -DCMAKE_BUILD_TYPE="$build_type" "${launcher[@]}" "$@" >"$dir/configure.log" 2>&1 ||
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

# ---- Windows stage -------------------------------------------------------
# The 32-bit Windows build, cross-built with MinGW-w64 and tested under Wine
# (scripts/windows-deps.sh builds and caches its libraries). WINDOWS=0 skips it.
if [[ ${WINDOWS:-1} != 0 ]]; then
  echo "== Windows: dependencies"
  t=$SECONDS
  JOBS="$jobs" "$here/scripts/windows-deps.sh" "$here/build-win32"
  echo "   ready in $((SECONDS - t)) s"
  win="$here/build-win32/app"
  # Updater.exe's -B and -G are tested against the Linux build's update server,
  # the ISP client on a COM port against its simulated boot loader.
  host_tools=()
  [[ -x $asan/tools/update-server/update-server ]] &&
    host_tools+=(-DUPDATER_HOST_UPDATE_SERVER="$asan/tools/update-server/update-server")
  [[ -x $asan/tools/mkbird/mkbird ]] && host_tools+=(-DUPDATER_HOST_MKBIRD="$asan/tools/mkbird/mkbird")
  [[ -x $asan/tools/simisp/simisp ]] && host_tools+=(-DUPDATER_HOST_SIMISP="$asan/tools/simisp/simisp")
  configure_and_build "$win" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-i686-w64-mingw32.cmake" \
    -DUPDATER_WIN32_SYSROOT="$here/build-win32/sysroot" -DUPDATER_BUILD_BENCH=OFF "${host_tools[@]}"
  echo "== Windows: tests under Wine"
  t=$SECONDS
  set +e
  JOBS="$jobs" "$here/scripts/windows-test.sh" "$here/build-win32" 2>&1 | tee "$win/ctest.log"
  status=${PIPESTATUS[0]}
  set -e
  summaries+=("$(grep -E 'tests passed, [0-9]+ tests? failed out of' "$win/ctest.log" | tail -n 1)")
  echo "   tests in $((SECONDS - t)) s"
  [[ $status == 0 ]] || exit "$status"
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
