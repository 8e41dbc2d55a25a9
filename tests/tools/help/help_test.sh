#!/usr/bin/env bash
# A tool's --help: exit 0, the text on standard output and nothing on the
# error stream, and every long option the text names (the synopsis included)
# explained on a line of its own.
#
#   help_test.sh TOOL
set -euo pipefail
tool=$1
out=$("$tool" --help 2>"${TMPDIR:-/tmp}/help_test.$$.err") || { echo "FAIL: exit $?"; exit 1; }
err=$(cat "${TMPDIR:-/tmp}/help_test.$$.err"); rm -f "${TMPDIR:-/tmp}/help_test.$$.err"
[[ -z $err ]] || { echo "FAIL: error stream: $err"; exit 1; }
[[ -n $out ]] || { echo "FAIL: no text"; exit 1; }
missing=0
for option in $(grep -o -- '--[a-z][a-z-]*' <<<"$out" | sort -u); do
  grep -qE -- "^ +$option( |$)" <<<"$out" || { echo "FAIL: $option is not explained"; missing=1; }
done
[[ $missing -eq 0 ]] && echo "ok: $(basename "$tool") --help"
exit "$missing"
