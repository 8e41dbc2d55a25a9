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
