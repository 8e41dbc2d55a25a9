#!/bin/sh
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) in a build directory of their own and runs each
# for a bounded time on a copy of its seed corpus. A crash, a sanitizer report
# or a failed check fails the script.
#
#   scripts/fuzz.sh [SECONDS]      seconds per target (default 60, or $FUZZ_SECONDS)
#
# FUZZ_TARGETS picks the targets (default: all of them); FUZZ_RUNS, when set,
# ends each target after that many executions instead of after SECONDS.
# Environment: FUZZ_BUILD_DIR (default build-fuzz in the source tree),
# FUZZ_JOBS (build jobs, default 2), FUZZ_COVERAGE=1 to replay the corpora
# afterwards in a coverage build and print line and branch coverage of the
# fuzzed sources (needs llvm-profdata and llvm-cov).
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-${FUZZ_SECONDS:-60}}
build=${FUZZ_BUILD_DIR:-$here/build-fuzz}
jobs=${FUZZ_JOBS:-2}
# One target a line, so that adding one touches one line; FUZZ_TARGETS picks some.
targets=${FUZZ_TARGETS:-"
fuzz_birdfile
fuzz_attributes
fuzz_isp
fuzz_sdp_client
fuzz_server_replies
fuzz_link_reader
fuzz_discovery
fuzz_options
"}

command -v clang++ >/dev/null || { echo "fuzz.sh: clang++ is needed (Debian: clang libclang-rt-14-dev)"; exit 1; }
CC=clang CXX=clang++ cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DUPDATER_BUILD_FUZZ=ON -DUPDATER_BUILD_BENCH=OFF \
  -DUPDATER_SANITIZE="address;undefined" >"$build.configure.log" 2>&1 ||
  { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j "$jobs" --target $targets

status=0
for target in $targets; do
  seeds="$here/tests/fuzz/corpus/${target#fuzz_}"
  work="$build/corpus/${target#fuzz_}"
  mkdir -p "$work" "$build/artifacts"
  cp -f "$seeds"/* "$work"/ 2>/dev/null || true
  echo "== $target: ${seconds}s"
  limit="-max_total_time=$seconds"
  [ -n "${FUZZ_RUNS:-}" ] && limit="-runs=$FUZZ_RUNS"
  if ! "$build/tests/fuzz/$target" "$limit" -max_len=8192 -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/$target-" "$work" >"$build/$target.log" 2>&1; then
    status=1
    echo "!! $target failed; log: $build/$target.log"
    tail -n 40 "$build/$target.log"
  fi
  grep -E "^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::peak_rss_mb)" "$build/$target.log" || true
done

if [ "$status" = 0 ] && [ "${FUZZ_COVERAGE:-0}" = 1 ]; then
  cov="$build-coverage"
  CC=clang CXX=clang++ cmake -S "$here" -B "$cov" -DCMAKE_BUILD_TYPE=Debug \
    -DUPDATER_BUILD_FUZZ=ON -DUPDATER_BUILD_BENCH=OFF -DUPDATER_SANITIZE= \
    -DCMAKE_CXX_FLAGS="-fprofile-instr-generate -fcoverage-mapping" \
    -DCMAKE_EXE_LINKER_FLAGS="-fprofile-instr-generate" >"$cov.configure.log" 2>&1 ||
    { cat "$cov.configure.log"; exit 1; }
  cmake --build "$cov" -j "$jobs" --target $targets >/dev/null
  for target in $targets; do
    LLVM_PROFILE_FILE="$cov/$target.profraw" "$cov/tests/fuzz/$target" -runs=0 \
      "$build/corpus/${target#fuzz_}" >/dev/null 2>&1
    llvm-profdata merge -sparse "$cov/$target.profraw" -o "$cov/$target.profdata"
    echo "== coverage of $target (corpus $(ls "$build/corpus/${target#fuzz_}" | wc -l) inputs)"
    case $target in
      fuzz_birdfile) files="BirdFile/BirdFile.cpp" ;;
      fuzz_attributes) files="store/AttributeFile.cpp" ;;
      fuzz_server_replies) files="server/ServerReplies.cpp|server/Base64.cpp|server/HttpTransfer.cpp" ;;
      fuzz_link_reader) files="link/aLinkReader.cpp|link/aPacket.cpp|link/aPacketFifo.cpp|link/aPacketLog.cpp" ;;
      fuzz_discovery) files="link/aDiscovery.cpp" ;;
      fuzz_options) files="app/OptionTokenizer.cpp|app/UpdaterOptions.cpp" ;;
    esac
    # The link library is a shared object of its own: its coverage is read
    # from it. Paths may be relative to the build (ccache), so the fuzzed
    # files are picked from the whole report by name.
    llvm-cov report "$cov/tests/fuzz/$target" -object "$cov/link/libkelvarion.so" \
      -instr-profile="$cov/$target.profdata" | grep -E "^Filename|($files) " |
      sed -e "s|$here/||" -e "s|^\.\./||"
  done
fi
exit $status
