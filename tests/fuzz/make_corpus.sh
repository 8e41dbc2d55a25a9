#!/bin/sh
# Regenerates the seed corpus of the fuzz targets with mkbird:
#   tests/fuzz/make_corpus.sh BUILD_DIR
# BIRD seeds come as whole files and as their inflated content (which the
# BIRD fuzz target wraps into a file itself).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
mkbird="$1/tools/mkbird/mkbird"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
out="$here/corpus/birdfile"
mkdir -p "$out" "$here/corpus/attributes"

head -c 48 /dev/zero | tr '\0' '\021' >"$tmp/fw.bin"
printf 'loader code' >"$tmp/loader.bin"
"$mkbird" -o "$out/full.bird" -l 0x10000000:"$tmp/loader.bin":3 -f 0x8000:"$tmp/fw.bin":1 \
  -s 0x8010:0x8018 -i "Hub:1.2:0000ABCD:KV-Hub" -j 0x20000400 -x 3:0:0102 >/dev/null
"$mkbird" -o "$out/edge.bird" -f 0x1000:"$tmp/fw.bin" -f 0x1030:"$tmp/fw.bin" -s 0x102C:0x1030 \
  -x 4:0:30303030 -x 2:0:0000 -x 1:0:12 -N 9 >/dev/null
"$mkbird" -o "$out/minimal.bird" -x 5:0: -c 0 >/dev/null
for f in full edge minimal; do
  python3 -c 'import sys, zlib; d = open(sys.argv[1], "rb").read(); sys.stdout.buffer.write(zlib.decompress(d[6:]))' \
    "$out/$f.bird" >"$out/$f.content"
done

printf 'CREATED_TIME=Mon Jan  1 00:00:00 2001\nLATEST_DOWNLOAD=12.bird\nLATEST_TRANSFER=11.bird\nUPDATED_TIME=Tue Jan  2 00:00:00 2001\n' \
  >"$here/corpus/attributes/settings"
printf '  KEY  =  two words  \r\n#COMMENT=1\na\nNOEQUALS\n = no key\nEQ=a=b\nLAST=no line feed' \
  >"$here/corpus/attributes/junk"
{ printf 'A=1\n'; head -c 2100 /dev/zero | tr '\0' 'x'; printf '\nB=2\n'; } >"$here/corpus/attributes/long-line"

# Seeds of the server-reply, link-reader, discovery and option targets.
python3 - "$here/corpus" <<'PY'
import os, struct, sys
root = sys.argv[1]
def put(target, name, data):
    os.makedirs(os.path.join(root, target), exist_ok=True)
    with open(os.path.join(root, target, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("latin-1"))
put("server_replies", "query", "ok\n17\nhub-40\n")
put("server_replies", "query-crlf", "ok\r\n101\r\nbirch\r\n")
put("server_replies", "builds", "ok\n12;first build\n9\nxy\n17;1.10\n")
put("server_replies", "bird", "ok\nS0JJUkQAAA==\n")
put("server_replies", "recovery", "ok\n0012ABCD\n0x11\n")
put("server_replies", "refused", "error: refused\n")
put("server_replies", "hostile-id", "ok\n17\nbirch&op=hi#x %41%\n")
def packet(address, *data):
    return bytes([address, len(data)] + list(data))
put("link_reader", "packets", b"\x00" + packet(2, 0x49, 0xFF, 0, 0, 0x12, 0x67) + packet(4, 1, 2, 3))
put("link_reader", "heartbeats", b"\x01" + packet(2, 0, 0) + packet(2, 0, 1) + packet(2, 0x55, 9))
put("link_reader", "resync", b"\x02" + b"\x03\x41" + bytes([4, 0, 4, 0]) + packet(2, 0x10))
put("link_reader", "long", b"\x03" + bytes([2, 28]) + bytes(range(28)) + bytes([2, 29]))
def answer(module, port, serial, model):
    a = bytearray(16)
    a[1] = module
    a[2:4] = struct.pack("<H", port)
    a[4:8] = struct.pack("<I", serial)
    a[12] = model
    return bytes(a)
put("discovery", "answer", bytes([10, 77, 0, 1]) + answer(2, 8031, 0x12345678, 19))
put("discovery", "odd-module", bytes([10, 77, 0, 1]) + answer(3, 9000, 0x2222, 4))
put("discovery", "usb", b"\x7c\x3a\x13\x00\x01" + b"0012ABCD\x00" + b"\x7c\x3a\x05\x00\x01" + b"0012abcd\x00"
    + b"\x7c\x3a\x05\x00\x00" + b"1\x00" + b"\x01\x00\x05\x00\x01" + b"123456789\x00")
put("options", "get", "-G\x00-d\x0040F5849A\x00-b\x004294967313")
put("options", "discover", "-D\x00-t\x00TCPIP\x00-X\x000x110")
put("options", "update", "-U\x00-d=0x40f5849a\x00-f\x00/abs/fw.bird\x00-OV\x00-r\x00zz")
put("options", "help", "-e\x00--he\x00-Y")
put("options", "recover", "-U\x00-t\x00RECOVER\x00-s\x00/dev/ttyUSB0\x00-o\x00115200\x00-b\x00007")
PY
