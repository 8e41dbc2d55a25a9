#!/usr/bin/env python3
"""Runs a Windows test program under Wine against a COM port that is a Linux
pseudo-terminal: the port is linked into the Wine prefix as dosdevices/comN,
and this script echoes every byte the program writes back to it.

Usage: com_port_test.py [--simisp SIMISP] PROGRAM [ARGS...]   (WINEPREFIX must be set)
The program learns the port's name from KLV_TEST_COM_PORT ("COM33"). With
--simisp, the far end is the simulated serial ISP boot loader (a Linux
program serving its own pseudo-terminal) instead of the echo.
"""
import os
import select
import tempfile
import time
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


def start_simisp(exe):
    """Starts the simulated boot loader; returns it and its terminal's path."""
    port_file = os.path.join(tempfile.mkdtemp(prefix="simisp-com-"), "port")
    proc = subprocess.Popen([exe, "--port-file", port_file], stdin=subprocess.PIPE,
                            stdout=subprocess.DEVNULL)
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        if os.path.exists(port_file) and open(port_file).read().strip():
            return proc, open(port_file).read().strip()
        time.sleep(0.05)
    proc.kill()
    raise SystemExit("simisp did not start")


def main():
    args = sys.argv[1:]
    simisp = None
    if len(args) >= 2 and args[0] == "--simisp":
        simisp, args = args[1], args[2:]
    if not args or "WINEPREFIX" not in os.environ:
        raise SystemExit(__doc__)
    dosdevices = os.path.join(os.environ["WINEPREFIX"], "dosdevices")
    os.makedirs(dosdevices, exist_ok=True)
    number, link = free_port(dosdevices)
    stop = threading.Event()
    echoer = None
    if simisp:
        peer, path = start_simisp(simisp)
    else:
        peer = None
        master, slave = os.openpty()
        tty.setraw(slave)
        path = os.ttyname(slave)
        echoer = threading.Thread(target=echo, args=(master, stop), daemon=True)
        echoer.start()
    os.symlink(path, link)
    env = dict(os.environ, KLV_TEST_COM_PORT="COM%d" % number)
    try:
        result = subprocess.run(["wine"] + args, env=env, timeout=240, stdin=subprocess.DEVNULL)
        status = result.returncode
    except subprocess.TimeoutExpired:
        print("com_port_test: the program did not end within 240 s", file=sys.stderr)
        status = 1
    finally:
        os.unlink(link)
        stop.set()
        if echoer:
            echoer.join(5)
            os.close(master)
            os.close(slave)
        if peer:
            peer.stdin.write(b"quit\n")
            peer.stdin.close()
            try:
                peer.wait(20)
            except subprocess.TimeoutExpired:
                peer.kill()
                peer.wait()
    sys.exit(status)


if __name__ == "__main__":
    main()
