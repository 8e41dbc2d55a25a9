#!/usr/bin/env bash
# Installs what is needed, builds the program and shows it at work: the usage
# text and a discovery run. The updater's store goes to a temporary home
# directory (DEMO_HOME to choose another) so the demo leaves nothing behind.
#
#   scripts/demo.sh
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build"
jobs=${JOBS:-2}

"$here/scripts/install-deps.sh"
mkdir -p "$build"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$build/configure.log" 2>&1 ||
  { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j "$jobs" --target Updater >"$build/build.log" 2>&1 ||
  { tail -n 80 "$build/build.log"; exit 1; }

home=${DEMO_HOME:-$(mktemp -d)}
[[ -n ${DEMO_HOME:-} ]] || trap 'rm -rf "$home"' EXIT
updater() {
  echo
  echo "\$ Updater $*"
  HOME="$home" "$build/app/Updater" "$@" 2>&1 || echo "(exit code $?)"
}

updater -h
updater -D
echo
echo "Store: $home/.mirovane/updater"
# ---- further demo steps (device and server commands) go below ------------
