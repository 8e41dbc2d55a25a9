#!/usr/bin/env bash
# Runs a command (by default ctest) for the Windows build under Wine:
#
#   scripts/windows-test.sh [BUILD_DIR] [-- COMMAND ARGS...]   (default: build-win32)
#
# Sets up a private Wine prefix inside BUILD_DIR, the search path for the
# MinGW run-time DLLs and kelvarion.dll, starts the Wine server before the
# command and stops it afterwards. Without a command, runs ctest in
# BUILD_DIR/app with the arguments in CTEST_ARGS.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build-win32
if [[ $# -gt 0 && $1 != -- ]]; then
  build=$1
  shift
fi
[[ ${1:-} == -- ]] && shift
build=$(cd "$build" && pwd)

# Windows form of a Linux path (Wine's Z: drive is the Linux root).
winpath() { printf 'Z:%s' "${1//\//\\}"; }

export WINEPREFIX=$build/wineprefix
export WINEDEBUG=-all
export WINEARCH=win32
# No window system here: no desktop, no browser or .NET installers.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
unset DISPLAY
runtime_dirs=("/usr/lib/gcc/i686-w64-mingw32/12-posix" "/usr/i686-w64-mingw32/lib" "$build/app/link")
WINEPATH=""
for dir in "${runtime_dirs[@]}"; do WINEPATH+="${WINEPATH:+;}$(winpath "$dir")"; done
export WINEPATH

mkdir -p "$WINEPREFIX"
# The server is started first and stays up across the command, so that Wine's
# background processes are not children of the command (they would otherwise
# hold its output pipe open and ctest would never end).
wineserver -p >/dev/null 2>&1
wine cmd /c exit >/dev/null 2>&1 </dev/null || true
status=0
if [[ $# -gt 0 ]]; then
  "$@" || status=$?
else
  read -r -a ctest_args <<<"${CTEST_ARGS:-}"
  (cd "$build/app" && ctest --output-on-failure -j "${JOBS:-2}" "${ctest_args[@]}") || status=$?
fi
wineserver -k >/dev/null 2>&1 || true
exit "$status"
