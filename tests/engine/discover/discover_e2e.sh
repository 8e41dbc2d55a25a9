#!/bin/sh
# Runs the -D command against simulated modules and compares what it prints,
# from the search line on, with the expected lines byte for byte (module
# lines sorted, since modules answer discovery in no fixed order).
# Usage (inside run_in_netns.sh): discover_e2e.sh CASE UPDATER SIMMODULE
set -u
CASE=$1
UPDATER=$2
SIM=$3
WORK=$(mktemp -d)
PIDS=""
cleanup() {
  for pid in $PIDS; do kill "$pid" 2>/dev/null; done
  for pid in $PIDS; do wait "$pid" 2>/dev/null; done
  rm -rf "$WORK"
}
trap cleanup EXIT

# Starts a simulated module in the background and waits until it listens.
start_sim() {
  log="$WORK/sim$(echo "$PIDS" | wc -w).log"
  "$SIM" --tcp 0 --bind 0.0.0.0 --heartbeat 0 "$@" >"$log" 2>&1 &
  PIDS="$PIDS $!"
  tries=0
  until grep -q "^simmodule: tcp" "$log" 2>/dev/null; do
    tries=$((tries + 1))
    if [ $tries -gt 200 ]; then
      echo "simulated module did not start:"; cat "$log"; exit 1
    fi
    sleep 0.05
  done
}

# Runs the updater with ARGS and compares its output from the search line on.
check() {
  expected="$WORK/expected"
  cat >"$expected"
  HOME="$WORK" "$UPDATER" "$@" >"$WORK/out" 2>"$WORK/err"
  rc=$?
  sed -n '/^Searching/,$p' "$WORK/out" >"$WORK/listing"
  # The heading lines keep their order; module lines are compared as a set.
  head -n 3 "$WORK/listing" >"$WORK/actual"
  tail -n +4 "$WORK/listing" | sort >>"$WORK/actual"
  if [ $rc -ne 0 ] || ! cmp -s "$expected" "$WORK/actual"; then
    echo "exit code $rc; expected:"; cat -A "$expected"
    echo "got:"; cat -A "$WORK/actual"
    echo "stderr:"; cat "$WORK/err"
    exit 1
  fi
}

case "$CASE" in
  usb)
    check -D <<'END'
Searching for Kelvarion devices
Discovered Devices: (USB)
    No devices found.
END
    ;;
  tcpip)
    start_sim --discovery on --serial 0x40F5849A --model 19 --address 4 --firmware 2.3.42 --build 4711
    start_sim --discovery on --serial 0x0012ABCD --model 6 --address 2 --firmware 10.0.7 --build 12
    start=$(date +%s%N)
    check -D -t TCPIP <<'END'
Searching for Kelvarion devices
Discovered Devices: (TCPIP)
    Device    Module   Router  Model          Firmware Version (Build)   [IP address]
    0012ABCD  02       02      Unknown       10.0.7 (12) [10.77.0.1]
    40F5849A  04       04      Ironwood       2.3.42 (4711) [10.77.0.1]
END
    echo "-D -t TCPIP took $(( ($(date +%s%N) - start) / 1000000 )) ms"
    ;;
  tcpip-none)
    check -D -t TCPIP <<'END'
Searching for Kelvarion devices
Discovered Devices: (TCPIP)
    No devices found.
END
    ;;
  router)
    start_sim --discovery on --serial 0xD272031D --model 4 --address 2 --firmware 1.2.3 --build 77 \
      --behind 6:0x0000ABCD:19:2.0.5:99 --behind 252:0x11110000:13:3.1.0:5 --absent error
    check -D -r D272031D <<'END'
Searching for Kelvarion Network devices connected to D272031D
Discovered Devices: (TCPIP)
    Device    Module   Router  Model          Firmware Version (Build)   [IP address]
    0000ABCD  06       02      Ironwood       2.0.5 (99) [10.77.0.1]
    11110000  FC       02      Cedar          3.1.0 (5) [10.77.0.1]
    D272031D  02       02      Alder          1.2.3 (77) [10.77.0.1]
END
    ;;
  router-unknown)
    start_sim --discovery on --serial 0xD272031D --model 4 --address 2
    check -D -r 0BADBEEF <<'END'
Searching for Kelvarion Network devices connected to 0BADBEEF
Discovered Devices: (USB)
    No devices found.
END
    ;;
  *)
    echo "unknown case $CASE"; exit 2
    ;;
esac
echo "ok: $CASE"
