#!/bin/sh
# simmodule --usb -- Updater ...: the listing of the modules it puts on the
# bus, a busy module, the fingerprint through the boot loader, the exit code
# of the command it runs, and its refusal of a bad call.
# Usage: simmodule_usb_cli.sh SIMMODULE UPDATER [MKBIRD]
set -u
SIM=$1
UPDATER=$2
MKBIRD=${3:-}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*"; cat "$WORK/out" "$WORK/err" 2>/dev/null; exit 1; }

HOME="$WORK" "$SIM" --usb --heartbeat 0 --serial 0x40F5849A --model 19 --firmware 2.3.42 --build 4711 \
  --usb-module 4:0x0012ABCD:5:1.0.7:12 -- "$UPDATER" -D >"$WORK/out" 2>"$WORK/err" || fail "-D exit $?"
sed -n '/^Searching/,$p' "$WORK/out" >"$WORK/listing"
cat >"$WORK/expected" <<'END'
Searching for Kelvarion devices
Discovered Devices: (USB)
    Device    Module   Router  Model          Firmware Version (Build)
    0012ABCD  04       04      Birch          1.0.7 (12)
    40F5849A  02       02      Ironwood       2.3.42 (4711)
END
{ head -n 3 "$WORK/listing"; tail -n +4 "$WORK/listing" | sort; } >"$WORK/actual"
cmp -s "$WORK/expected" "$WORK/actual" || { diff "$WORK/expected" "$WORK/actual"; fail "listing"; }
grep -q "^simmodule: usb 0012ABCD, model 5" "$WORK/err" || fail "no note of the second module"

# A module another process holds: listed with its error.
HOME="$WORK" "$SIM" --usb --heartbeat 0 --serial 0x40F5849A --usb-busy on -- "$UPDATER" -D >"$WORK/out" 2>"$WORK/err" \
  || fail "-D of a busy module: exit $?"
grep -q "^    40F5849A  \[Error (25): Is someone else connected to this device?\]" "$WORK/out" || fail "busy module"

# The fingerprint through the boot loader: the liveloader stored under the
# placeholder serial is started and read back as the module.
if [ -n "$MKBIRD" ] && "$SIM" --help | grep -q -- "--usb-boot-loader"; then
  entry="$WORK/.mirovane/updater/DEADDEAD"
  mkdir -p "$entry"
  head -c 1500 /dev/urandom >"$WORK/loader.bin"  # a BIRD stream inflates to at most 8 times its size
  "$MKBIRD" -o "$entry/5.bird" -i Kelvarion:0.5:DEADDEAD:Liveloader -l 0x20000000:"$WORK/loader.bin" \
    -j 0x20000400 >/dev/null || fail "mkbird"
  echo "LATEST_DOWNLOAD=5.bird" >"$entry/.settings"
  HOME="$WORK" "$SIM" --usb --heartbeat 0 --serial 0xDEADDEAD --usb-boot-loader on -- "$UPDATER" -N -s USB \
    >"$WORK/out" 2>"$WORK/err" || fail "-N -s USB: exit $?"
  grep -q "^\[ 13579BDF 02468ACE 89ABCDEF 01234567 \]$" "$WORK/out" || fail "no identifier"
  grep -q "started the loader at 0x20000400" "$WORK/err" || fail "the loader was not started"
fi

# The command's exit code is simmodule's.
"$SIM" --usb -- sh -c 'exit 3' >"$WORK/out" 2>"$WORK/err"
[ $? -eq 3 ] || fail "exit code of the command not passed on"
# A command is needed, and --usb goes without --tcp.
"$SIM" --usb >"$WORK/out" 2>"$WORK/err" && fail "--usb without a command accepted"
"$SIM" --usb --tcp 0 -- true >"$WORK/out" 2>"$WORK/err" && fail "--usb with --tcp accepted"
grep -q "no --tcp or --pty" "$WORK/err" || fail "no reason given"
echo "ok: simmodule --usb"
