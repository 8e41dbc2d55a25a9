#!/usr/bin/env bash
# One-command demonstration on a fresh Debian 12 machine: installs what is
# missing, builds the program and our stand-ins, and inside an isolated
# network namespace (no hardware, no network, no root beyond the namespace)
# updates a simulated module from the reference update server:
#
#   Updater -D -t TCPIP        the module, running firmware 1.0.100
#   Updater -B -d 40F5849A     the builds the server offers for it
#   Updater -G -U -d 40F5849A  download the current build and transfer it
#   Updater -D -t TCPIP        the module again, now running 1.0.101
#
# and then recovers a module whose firmware does not run through the
# simulated serial ISP boot loader on a pseudo-terminal:
#
#   Updater -N -s PTY                       the processor's identifier
#   Updater -U -t RECOVER -s PTY -f FILE    firmware written into its flash
#
# In a terminal the progress bar and the busy indicator are shown. The
# updater's store goes to a temporary home directory (DEMO_HOME to choose
# another), so the demo leaves nothing behind.
#
#   scripts/demo.sh
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=${DEMO_BUILD:-$here/build}
jobs=${JOBS:-2}

"$here/scripts/install-deps.sh"
mkdir -p "$build"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$build/configure.log" 2>&1 ||
  { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j "$jobs" --target Updater mkbird update-server simmodule-bin simisp-bin \
  >"$build/build.log" 2>&1 || { tail -n 80 "$build/build.log"; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/updater-demo.XXXXXX")
home=${DEMO_HOME:-$work/home}
trap 'rm -rf "$work"' EXIT
mkdir -p "$home" "$work/server/birch"

# Two builds of a "Birch" module's firmware: a small loader and a 64 KiB
# image with room for the serial number and the USB descriptor digits.
head -c 2048 /dev/urandom >"$work/loader.bin"
for number in 100 101; do
  head -c 65536 /dev/urandom >"$work/fw$number.bin"
  "$build/tools/mkbird/mkbird" -o "$work/server/birch/$number.bird" \
    -i "Kelvarion Demo:1.0.$number:00000000:Birch" \
    -s 0x08000100:0x08000200 \
    -l "0x20000000:$work/loader.bin" \
    -f "0x08000000:$work/fw$number.bin" >/dev/null
done
# A firmware file for the serial ISP recovery: 16 KiB at the start of flash.
head -c 16384 /dev/urandom >"$work/isp.bin"
"$build/tools/mkbird/mkbird" -o "$work/recovery.bird" \
  -i "Kelvarion Demo:1.0.7:40F5849A:Birch" -f "0x00000000:$work/isp.bin" >/dev/null
cat >"$work/server/catalog.txt" <<CATALOG
device 40F5849A
firmware birch
current 101
build 100 first release
build 101 current release
CATALOG

# What runs inside the namespace: the server on its default address, the
# simulated module answering discovery, then the four commands. Only the
# processes started here are stopped, by their process ids.
cat >"$work/inside.sh" <<'INSIDE'
set -u
ip link set lo up && ip link set lo multicast on &&
  ip addr add 10.77.0.1/32 dev lo && ip route add 224.0.0.0/4 dev lo || exit 1
"$BUILD/tools/update-server/update-server" --root "$WORK/server" >"$WORK/server.log" 2>&1 &
server_pid=$!
"$BUILD/tools/simmodule/simmodule" --tcp 8031 --bind 10.77.0.1 --discovery on \
  --serial 0x40F5849A --model 5 --firmware 1.0.100 --build 100 \
  --loader-block-size 256 --reboot-delay 1500 --new-firmware 1.0.101 --new-build 101 \
  >"$WORK/sim.log" 2>&1 &
sim_pid=$!
stop() {
  kill "$sim_pid" "$server_pid" 2>/dev/null
  wait "$sim_pid" "$server_pid" 2>/dev/null
}
trap stop EXIT
for _ in $(seq 100); do
  grep -q "listening" "$WORK/server.log" && grep -q "tcp" "$WORK/sim.log" && break
  sleep 0.1
done
updater() {
  echo
  echo "\$ Updater $*"
  HOME="$DEMO_HOME" "$BUILD/app/Updater" "$@" || { status=$?; echo "(exit code $status)"; return $status; }
}
updater -D -t TCPIP
updater -B -d 40F5849A
updater -G -U -d 40F5849A
result=$?
sleep 2  # the module restarts into its new firmware
updater -D -t TCPIP

# Recovery through the simulated serial ISP boot loader on a pseudo-terminal.
"$BUILD/tools/simisp/simisp" --port-file "$WORK/isp.port" --flash "$WORK/isp-flash.bin" \
  </dev/null >"$WORK/isp.log" 2>&1 &
isp_pid=$!
trap 'kill "$isp_pid" 2>/dev/null; wait "$isp_pid" 2>/dev/null; stop' EXIT
for _ in $(seq 100); do [ -s "$WORK/isp.port" ] && break; sleep 0.1; done
port=$(cat "$WORK/isp.port")
updater -N -s "$port" || result=$?
updater -U -t RECOVER -s "$port" -f "$WORK/recovery.bird" || result=$?
echo
if [ -n "${KEEP_HOME:-}" ]; then
  echo "Store: $DEMO_HOME/.mirovane/updater"
else
  echo "Store: $DEMO_HOME/.mirovane/updater (removed now; set DEMO_HOME to keep it)"
fi
exit $result
INSIDE
BUILD="$build" WORK="$work" DEMO_HOME="$home" KEEP_HOME="${DEMO_HOME:-}" \
  unshare -rn bash "$work/inside.sh"
