# The update demonstration, sourced by demo.sh once the program is built:
# inside an isolated network namespace it runs the reference update server
# with two builds made by mkbird and a simulated module, then lists the
# module, lists its builds, downloads and transfers the current build, and
# lists the module again with its new firmware.
# Needs: ROOT (the repository), BUILD (the build directory).

demo_update() {
  local work
  work=$(mktemp -d "${TMPDIR:-/tmp}/updater-demo.XXXXXX")
  # shellcheck disable=SC2064
  trap "rm -rf '$work'" RETURN

  local bin="$BUILD"
  local mkbird="$bin/tools/mkbird/mkbird"
  local server="$bin/tools/update-server/update-server"
  local sim="$bin/tools/simmodule/simmodule"
  local updater="$bin/app/Updater"

  # Two builds of a "Birch" firmware: a small loader and a 64 KiB image with
  # room for the serial number and the USB descriptor digits.
  mkdir -p "$work/server/birch" "$work/home"
  head -c 2048 /dev/urandom >"$work/loader.bin"
  for build in 100 101; do
    head -c 65536 /dev/urandom >"$work/fw$build.bin"
    "$mkbird" -o "$work/server/birch/$build.bird" \
      -i "Kelvarion Demo:1.0.$build:00000000:Birch" \
      -s 0x08000100:0x08000200 \
      -l "0x20000000:$work/loader.bin" \
      -f "0x08000000:$work/fw$build.bin" >/dev/null
  done
  cat >"$work/server/catalog.txt" <<CATALOG
device 40F5849A
firmware birch
current 101
build 100 1.0.100 first release
build 101 1.0.101 current release
CATALOG

  cat >"$work/inside.sh" <<'INSIDE'
set -u
ip link set lo up && ip link set lo multicast on &&
  ip addr add 10.77.0.1/32 dev lo && ip route add 224.0.0.0/4 dev lo || exit 1
"$SERVER" --root "$WORK/server" >"$WORK/server.log" 2>&1 &
server_pid=$!
"$SIM" --tcp 8031 --bind 0.0.0.0 --serial 0x40F5849A --model 5 --firmware 1.0.100 --build 100 \
  --loader-block-size 256 --reboot-delay 1500 --new-firmware 1.0.101 --new-build 101 \
  --discovery on >"$WORK/sim.log" 2>&1 &
sim_pid=$!
stop() { kill "$sim_pid" "$server_pid" 2>/dev/null; wait "$sim_pid" "$server_pid" 2>/dev/null; }
trap stop EXIT
# Both listen within a moment; give up after 10 s.
for _ in $(seq 100); do
  if grep -q "tcp" "$WORK/sim.log" 2>/dev/null && grep -qi "listening" "$WORK/server.log" 2>/dev/null; then
    break
  fi
  sleep 0.1
done
run() {
  echo
  echo "\$ Updater $*"
  HOME="$WORK/home" "$UPDATER" "$@"
}
run -D -t TCPIP
run -B -d 40F5849A
run -G -U -d 40F5849A
status=$?
run -D -t TCPIP
exit $status
INSIDE
  WORK="$work" SERVER="$server" SIM="$sim" UPDATER="$updater" unshare -rn bash "$work/inside.sh"
}
