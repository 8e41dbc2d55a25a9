#!/usr/bin/env python3
"""Runs a Windows test program under Wine against a COM port that is a Linux
pseudo-terminal: the port is linked into the Wine prefix as dosdevices/comN,
and this script echoes every byte the program writes back to it.

Usage: com_port_test.py PROGRAM [ARGS...]   (WINEPREFIX must be set)
The program learns the port's name from KLV_TEST_COM_PORT ("COM33").
"""
import os
import select
import subprocess
import sys
import threading
import tty


def free_port(dosdevices):
    for number in range(33, 99):
        link = os.path.join(dosdevices, "com%d" % number)
        if not os.path.lexists(link):
            return number, link
    raise SystemExit("no free COM port name in " + dosdevices)


def echo(master, stop):
    while not stop.is_set():
        ready, _, _ = select.select([master], [], [], 0.1)
        if not ready:
            continue
        try:
            data = os.read(master, 4096)
        except OSError:
            return
        while data:
            written = os.write(master, data)
            data = data[written:]


def main():
    if len(sys.argv) < 2 or "WINEPREFIX" not in os.environ:
        raise SystemExit(__doc__)
    master, slave = os.openpty()
    tty.setraw(slave)
    dosdevices = os.path.join(os.environ["WINEPREFIX"], "dosdevices")
    os.makedirs(dosdevices, exist_ok=True)
    number, link = free_port(dosdevices)
    os.symlink(os.ttyname(slave), link)
    stop = threading.Event()
    echoer = threading.Thread(target=echo, args=(master, stop), daemon=True)
    echoer.start()
    env = dict(os.environ, KLV_TEST_COM_PORT="COM%d" % number)
    try:
        result = subprocess.run(["wine"] + sys.argv[1:], env=env, timeout=240, stdin=subprocess.DEVNULL)
        status = result.returncode
    except subprocess.TimeoutExpired:
        print("com_port_test: the program did not end within 240 s", file=sys.stderr)
        status = 1
    finally:
        stop.set()
        echoer.join(5)
        os.unlink(link)
        os.close(master)
        os.close(slave)
    sys.exit(status)


if __name__ == "__main__":
    main()
