#!/usr/bin/env python3
"""Updater.exe -h under Wine prints the exact usage text of the Linux build
(tests/app/cli/expected/usage_full.txt) on its error stream, with the console's
CR LF line ends, and exits 0.

Usage: usage_test.py WINE_PROGRAM_SH UPDATER_EXE EXPECTED_TXT
"""
import subprocess
import sys


def main():
    runner, updater, expected_path = sys.argv[1:4]
    with open(expected_path, "rb") as f:
        expected = f.read()
    for option in ("-h", "-H", "--help"):
        proc = subprocess.run([runner, updater, option], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=120)
        if proc.returncode != 0:
            sys.exit("%s: exit %d" % (option, proc.returncode))
        if proc.stderr != expected.replace(b"\n", b"\r\n"):
            sys.stderr.write("%s: usage differs\n--- got\n%s" % (option, proc.stderr.decode(errors="replace")))
            sys.exit(1)
        if not proc.stdout.startswith(b"Updater (Version: "):
            sys.exit("%s: no banner on the standard output: %r" % (option, proc.stdout[:80]))
    print("usage: 3 passed, 0 failed")


if __name__ == "__main__":
    main()
