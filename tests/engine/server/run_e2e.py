#!/usr/bin/env python3
"""End-to-end checks of Updater -B and -G against the reference update server.

Each case starts update-server on a free loopback port with a temporary root,
runs the built Updater with a temporary $HOME and checks its output, exit code
and store. Usage: run_e2e.py --updater PATH --server PATH [--mkbird PATH] CASE
"""
import argparse
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

HUB = "40F5849A"
BARE = "0000002A"
CATALOG = """\
device 40F5849A
firmware hub-40
current 17
build 17 1.10
build 9 1.9
build 10 1.10-rc
fingerprint 00112233 44556677 8899AABB CCDDEEFF
device 0000002A
firmware bare
current 3
"""


class Failure(Exception):
    pass


def check(condition, message, context=""):
    if not condition:
        raise Failure(message + ("\n" + context if context else ""))


class Server:
    def __init__(self, exe, root, faults=(), port="0"):
        args = [exe, "--root", root, "--port", port]
        for fault in faults:
            args += ["--fault", fault]
        self.log = open(os.path.join(root, "server.log"), "w")
        self.proc = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=self.log)
        ready, _, _ = select.select([self.proc.stdout], [], [], 20)
        line = self.proc.stdout.readline().decode() if ready else ""
        if "listening on " not in line:
            self.stop()
            raise Failure("update-server did not start: " + repr(line))
        self.url = line.split("listening on ")[1].split()[0]

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(20)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.log.close()


class Env:
    def __init__(self, args):
        self.args = args
        self.tmp = tempfile.mkdtemp(prefix="updater-e2e-")
        self.home = os.path.join(self.tmp, "home")
        self.root = os.path.join(self.tmp, "server")
        os.makedirs(self.home)
        os.makedirs(os.path.join(self.root, "hub-40"))
        with open(os.path.join(self.root, "catalog.txt"), "w") as f:
            f.write(CATALOG)
        self.birds = {}
        for build in ("17", "9", "5"):
            self.birds[build] = self.make_bird(build)
        self.server = None

    def make_bird(self, build):
        path = os.path.join(self.root, "hub-40", build + ".bird")
        if self.args.mkbird:
            image = os.path.join(self.tmp, "image-%s.bin" % build)
            with open(image, "wb") as f:
                f.write(bytes((i * 13 + int(build)) & 0xFF for i in range(4096)))
            subprocess.run([self.args.mkbird, "-o", path, "-f", "0x1000:" + image,
                            "-i", "hub:1.%s:%s:hub" % (build, HUB)], check=True)
        else:
            with open(path, "wb") as f:
                f.write(bytes((i * 7 + int(build)) & 0xFF for i in range(4096)))
        with open(path, "rb") as f:
            return f.read()

    def start(self, faults=(), port="0"):
        self.server = Server(self.args.server, self.root, faults, port)
        return self.server.url

    def updater(self, *argv, url=None, timeout=120):
        env = {k: v for k, v in os.environ.items() if "proxy" not in k.lower()}
        env["HOME"] = self.home
        cmd = [self.args.updater] + list(argv)
        if url:
            cmd += ["-u", url]
        started = time.monotonic()
        proc = subprocess.run(cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=timeout)
        proc.elapsed = time.monotonic() - started
        proc.out = proc.stdout.decode(errors="replace")
        proc.err = proc.stderr.decode(errors="replace")
        proc.context = "exit %d\n--- stdout\n%s--- stderr\n%s" % (proc.returncode, proc.out, proc.err)
        return proc

    def device_file(self, name, serial=HUB):
        return os.path.join(self.home, ".mirovane", "updater", serial, name)

    def settings(self, serial=HUB):
        items = {}
        path = self.device_file(".settings", serial)
        if os.path.exists(path):
            for line in open(path):
                if "=" in line:
                    key, value = line.rstrip("\n").split("=", 1)
                    items[key] = value
        return items

    def close(self):
        if self.server:
            self.server.stop()
        shutil.rmtree(self.tmp, ignore_errors=True)


def expect_stored(env, build, proc):
    check(proc.returncode == 0, "-G failed", proc.context)
    path = env.device_file(build + ".bird")
    check(os.path.exists(path), "no %s.bird in the store" % build, proc.context)
    with open(path, "rb") as f:
        check(f.read() == env.birds[build], "stored bytes differ from the server's file")
    items = env.settings()
    check(items.get("LATEST_DOWNLOAD") == build + ".bird", "LATEST_DOWNLOAD: %r" % items)
    check(len(items.get("LAST_DOWNLOAD_DATE", "")) == 24, "LAST_DOWNLOAD_DATE: %r" % items)
    if env.args.mkbird:
        # The stored file loads exactly when the server's original does.
        dumps = [subprocess.run([env.args.mkbird, "dump", p], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE).returncode
                 for p in (path, os.path.join(env.root, "hub-40", build + ".bird"))]
        check(dumps[0] == dumps[1], "mkbird dump: stored %d, original %d" % tuple(dumps))


def expect_nothing_stored(env, proc):
    check(proc.returncode == 1, "expected exit 1", proc.context)
    birds = []
    directory = os.path.dirname(env.device_file("x"))
    if os.path.isdir(directory):
        birds = [n for n in os.listdir(directory) if n.endswith(".bird")]
    check(not birds, "files stored: %r" % birds, proc.context)
    check("LATEST_DOWNLOAD" not in env.settings(), "LATEST_DOWNLOAD recorded", proc.context)


def case_list_order(env):
    url = env.start()
    proc = env.updater("-B", "-d", HUB, url=url)
    check(proc.returncode == 0, "-B failed", proc.context)
    lines = proc.out.splitlines()
    check("Build List for device [%s]:" % HUB in lines, "no heading", proc.context)
    rows = [l for l in lines if "\t" in l]
    check(rows and rows[0].startswith("Build"), "no column heading", proc.context)
    versions = [r.split("\t")[1].strip() for r in rows[1:]]
    check(versions == ["1.10", "1.10-rc", "1.9"], "order: %r" % versions, proc.context)
    check(rows[1].split("\t")[0].strip() == "17", "first row: %r" % rows[1], proc.context)


def case_no_builds(env):
    url = env.start()
    proc = env.updater("-B", "-d", BARE, url=url)
    check(proc.returncode == 0, "-B failed", proc.context)
    check("No builds found for device [%s]" % BARE in proc.out.splitlines(), "message missing",
          proc.context)


def case_list_failures(env):
    url = env.start()
    proc = env.updater("-B", "-d", "12345678", url=url)
    check(proc.returncode == 1, "unknown device: expected exit 1", proc.context)
    check("Failed to retrieve builds for 12345678" in proc.err, "message missing", proc.context)
    down = "http://127.0.0.1:1/cgi/u"
    proc = env.updater("-B", "-d", HUB, url=down)
    check(proc.returncode == 1, "server down: expected exit 1", proc.context)
    check("Server request failed for " + down in proc.err, "message missing", proc.context)


def case_get_current(env):
    url = env.start()
    proc = env.updater("-G", "-d", HUB, url=url)
    expect_stored(env, "17", proc)
    for line in ("Retrieving firmware for device with serial number " + HUB, "Using Latest build",
                 "Retrieving build 17", "Validating build 17 with server", "Build 17 is valid"):
        check(line in proc.out.splitlines(), "missing line %r" % line, proc.context)
    check("CREATED_TIME" in env.settings(), "no CREATED_TIME")


def case_get_build_n(env):
    url = env.start()
    proc = env.updater("-G", "-d", HUB, "-b", "9", url=url)
    expect_stored(env, "9", proc)
    check("Retrieving firmware build 9" in proc.out, "missing build line", proc.context)
    # A later download of another build replaces LATEST_DOWNLOAD, keeps the file.
    proc = env.updater("-G", "-d", HUB, url=url)
    expect_stored(env, "17", proc)
    check(os.path.exists(env.device_file("9.bird")), "9.bird gone")


def case_override(env):
    url = env.start()
    proc = env.updater("-G", "-d", HUB, "-b", "5", url=url)
    check("No valid build 5" in proc.err, "unlisted build accepted", proc.context)
    expect_nothing_stored(env, proc)
    proc = env.updater("-G", "-d", HUB, "-b", "5", "-OVERRIDE", url=url)
    expect_stored(env, "5", proc)
    check("Override specified, skipping validation of build 5" in proc.out, "no override line",
          proc.context)


def case_unknown_build(env):
    url = env.start()
    proc = env.updater("-G", "-d", HUB, "-b", "12", url=url)
    check("No valid build 12" in proc.err, "message missing", proc.context)
    expect_nothing_stored(env, proc)
    # Listed but missing on the server: the download fails.
    proc = env.updater("-G", "-d", HUB, "-b", "10", url=url)
    check("Download failed" in proc.err and "Failed to retreive a valid BIRD file" in proc.err,
          "messages missing", proc.context)
    expect_nothing_stored(env, proc)


def case_server_down(env):
    down = "http://127.0.0.1:1/cgi/u"
    proc = env.updater("-G", "-d", HUB, url=down)
    check("Server request failed for " + down in proc.err, "message missing", proc.context)
    check(proc.returncode == 1, "expected exit 1", proc.context)


def case_ok_alone(env):
    url = env.start(["ok-alone:bird"])
    proc = env.updater("-G", "-d", HUB, url=url)
    check("Failed to retreive a valid BIRD file" in proc.err, "message missing", proc.context)
    check("Download failed" not in proc.err, "an ok reply is not a failed download", proc.context)
    expect_nothing_stored(env, proc)


def case_crlf(env):
    url = env.start(["crlf"])
    proc = env.updater("-G", "-d", HUB, url=url)
    expect_stored(env, "17", proc)


def case_stalled(env):
    url = env.start(["stall"])
    proc = env.updater("-G", "-d", HUB, url=url, timeout=90)
    check("Server request failed for " + url in proc.err, "message missing", proc.context)
    check(proc.returncode == 1, "expected exit 1", proc.context)
    check(proc.elapsed < 60, "took %.1f s" % proc.elapsed, proc.context)
    print("stalled server given up after %.1f s" % proc.elapsed)


def case_default_url(env):
    # A server started with its defaults is found without -u.
    try:
        url = env.start(port="8750")
    except Failure:
        print("port 8750 is taken; case skipped")
        return
    check(url == "http://127.0.0.1:8750/cgi/u", "default URL: " + url)
    proc = env.updater("-G", "-d", HUB)
    expect_stored(env, "17", proc)
    proc = env.updater("-B", "-d", HUB)
    check(proc.returncode == 0 and "1.9" in proc.out, "-B without -u failed", proc.context)


CASES = {name[5:]: fn for name, fn in globals().items() if name.startswith("case_")}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--updater", required=True)
    parser.add_argument("--server", required=True)
    parser.add_argument("--mkbird")
    parser.add_argument("case", choices=sorted(CASES))
    args = parser.parse_args()
    env = Env(args)
    try:
        CASES[args.case](env)
    except Failure as failure:
        print("FAILED: %s" % failure)
        return 1
    finally:
        env.close()
    print("passed: " + args.case)
    return 0


if __name__ == "__main__":
    sys.exit(main())
