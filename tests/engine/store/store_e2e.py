#!/usr/bin/env python3
"""The store under kills, a full disk and odd contents.

Each case runs the built Updater (-G) with a temporary $HOME against the
reference update server (or a small fake one) and checks what the store holds
afterwards: a file is either the old one or the new one, whole; nothing is
written through a link or into a look-alike directory; an unreadable .settings
is reported and kept. Usage:

  store_e2e.py --updater PATH --server PATH --rewriter PATH CASE

Kill cases run STORE_KILL_ITERATIONS kills (default 12) from the seed
STORE_KILL_SEED (default 11).
"""
import argparse
import base64
import hashlib
import http.server
import os
import random
import shutil
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "server"))
from run_e2e import HUB, Env, Failure, check  # noqa: E402

OLD_SETTINGS = ("CREATED_TIME=Mon Jan  1 00:00:00 2001\n"
                "LAST_DOWNLOAD_DATE=Mon Jan  1 00:00:00 2001\n"
                "LAST_TRANSFER_DATE=Tue Jan  2 00:00:00 2001\n"
                "LATEST_DOWNLOAD=9.bird\n"
                "LATEST_TRANSFER=9.bird\n")


def iterations():
    return int(os.environ.get("STORE_KILL_ITERATIONS", "12"))


def seed():
    return int(os.environ.get("STORE_KILL_SEED", "11"))


def pattern(size, salt):
    """size bytes that differ for each salt (and do not compress away)."""
    block = hashlib.sha256(salt.encode()).digest() * 2048  # 64 KiB
    return (block * (size // len(block) + 1))[:size]


def parse_settings(text):
    items = {}
    for line in text.splitlines():
        if "=" in line:
            key, value = line.split("=", 1)
            items[key] = value
    return items


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def temporaries(directory):
    return sorted(n for n in os.listdir(directory) if ".tmp-" in n)


def settings_state(text):
    """'old', 'new' or a description of a torn file."""
    if text == OLD_SETTINGS:
        return "old"
    items = parse_settings(text)
    old = parse_settings(OLD_SETTINGS)
    if not text.endswith("\n"):
        return "torn (no final line feed)"
    kept = {k: v for k, v in old.items() if k not in ("LATEST_DOWNLOAD", "LAST_DOWNLOAD_DATE")}
    for key, value in kept.items():
        if items.get(key) != value:
            return "torn (%s lost)" % key
    if items.get("LATEST_DOWNLOAD") != "17.bird" or len(items.get("LAST_DOWNLOAD_DATE", "")) != 24:
        return "torn (download record %r)" % items
    return "new"


class Case:
    def __init__(self, args):
        self.args = args
        self.env = Env(args)
        self.device = os.path.dirname(self.env.device_file("x"))

    def serve_build(self, build, size, salt):
        path = os.path.join(self.env.root, "hub-40", build + ".bird")
        data = pattern(size, salt)
        write(path, data)
        self.env.birds[build] = data
        return data


def kill_at_random(argv, env, delays):
    """Runs argv and kills it after each delay in turn; yields after each kill."""
    for delay in delays:
        proc = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            proc.wait(delay)
        except subprocess.TimeoutExpired:
            proc.kill()
        proc.wait()
        yield proc.returncode


def updater_env(case):
    env = {k: v for k, v in os.environ.items() if "proxy" not in k.lower()}
    env["HOME"] = case.env.home
    return env


def case_kill_during_get(case):
    """-G of a large build over an intact copy, killed at random points."""
    url = case.env.start()
    new = case.serve_build("17", 24 << 20, "new")
    old = pattern(24 << 20, "old")
    bird = case.env.device_file("17.bird")

    def restore():
        write(bird, old)
        write(case.env.device_file(".settings"), OLD_SETTINGS)

    restore()
    proc = case.env.updater("-G", "-d", HUB, url=url, timeout=240)
    check(proc.returncode == 0, "-G failed", proc.context)
    full = proc.elapsed
    check(read(bird) == new, "the completed -G did not store the build")
    rng = random.Random(seed())
    argv = [case.args.updater, "-G", "-d", HUB, "-u", url]
    outcomes = {}
    delays = [rng.uniform(0.05, full * 1.05) for _ in range(iterations())]
    runs = kill_at_random(argv, updater_env(case), delays)
    for index, _ in enumerate(runs):
        data = read(bird)
        state = "old" if data == old else "new" if data == new else "torn (%d bytes)" % len(data)
        settings = settings_state(read(case.env.device_file(".settings")).decode())
        check(not state.startswith("torn"), "kill %d: 17.bird is %s" % (index, state))
        check(not settings.startswith("torn"), "kill %d: .settings is %s" % (index, settings))
        outcomes[(state, settings)] = outcomes.get((state, settings), 0) + 1
        restore()
    proc = case.env.updater("-G", "-d", HUB, url=url, timeout=240)
    check(proc.returncode == 0 and read(bird) == new, "-G after the kills failed", proc.context)
    check(temporaries(case.device) == [], "temporaries left: %r" % temporaries(case.device))
    print("kill_during_get: %d kills over %.1f s runs, no torn file: %s" % (
        len(delays), full, ", ".join("%s/%s %d" % (k[0], k[1], n) for k, n in sorted(outcomes.items()))))


def case_kill_settings_rewrite(case):
    """An attribute file rewritten over and over, killed at random points."""
    path = case.env.device_file(".settings")
    keys = 300
    write(path, "".join("K%03d=round start\n" % k for k in range(keys)))
    rng = random.Random(seed())
    env = updater_env(case)
    kills = 0
    for index in range(iterations() * 4):
        proc = subprocess.Popen([case.args.rewriter, path, str(keys), "1000000"], env=env,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        proc.stdout.readline()  # "ready": the rewriting starts now
        try:
            proc.wait(rng.uniform(0.001, 0.25))
        except subprocess.TimeoutExpired:
            proc.kill()
        proc.wait()
        proc.stdout.close()
        check(proc.returncode != 1, "kill %d: the rewriter failed" % index)
        items = parse_settings(read(path).decode())
        values = {items.get("K%03d" % k) for k in range(keys)}
        check(len(values) == 1 and None not in values,
              "kill %d: .settings torn: %d items, values %r" % (index, len(items), sorted(values, key=str)[:4]))
        kills += 1
    print("kill_settings_rewrite: %d kills, no torn .settings" % kills)


def case_full_disk(case):
    """-G onto a full disk: "Failed to write file with 8", the old file kept."""
    url = case.env.start()
    case.serve_build("17", 6 << 20, "new")
    stage = os.path.join(case.env.tmp, "stage")
    write(os.path.join(stage, "17.bird"), pattern(1 << 20, "old"))
    write(os.path.join(stage, ".settings"), OLD_SETTINGS)
    home = case.env.home
    device = os.path.join(home, ".mirovane", "updater", HUB)
    script = r'''
set -e
mount -t tmpfs -o size=3m tmpfs "$HOME"
mkdir -p "$DEVICE"
cp "$STAGE/17.bird" "$STAGE/.settings" "$DEVICE/"
set +e
"$UPDATER" -G -d %s -u "$URL" >"$OUT/out" 2>"$OUT/err"
echo $? >"$OUT/rc"
sha256sum "$DEVICE/17.bird" | cut -d" " -f1 >"$OUT/bird"
cp "$DEVICE/.settings" "$OUT/settings"
ls -a "$DEVICE" >"$OUT/entries"
''' % HUB
    out = os.path.join(case.env.tmp, "out")
    os.makedirs(out)
    env = updater_env(case)
    env.update(DEVICE=device, STAGE=stage, UPDATER=case.args.updater, URL=url, OUT=out)
    probe = subprocess.run(["unshare", "-rm", "sh", "-c", 'mount -t tmpfs tmpfs "$HOME"'], env=env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if probe.returncode != 0:
        print("full_disk skipped: a private mount namespace (unshare -rm) is not allowed here")
        return
    subprocess.run(["unshare", "-rm", "sh", "-c", script], env=env, check=True, timeout=240)
    context = "--- stdout\n%s--- stderr\n%s" % (read(os.path.join(out, "out")).decode(),
                                                read(os.path.join(out, "err")).decode())
    check(read(os.path.join(out, "rc")).strip() == b"1", "expected exit 1", context)
    check("Failed to write file with 8" in context, "no write failure line", context)
    old = hashlib.sha256(read(os.path.join(stage, "17.bird"))).hexdigest()
    check(read(os.path.join(out, "bird")).decode().strip() == old, "the old 17.bird changed", context)
    check(read(os.path.join(out, "settings")).decode() == OLD_SETTINGS, ".settings changed", context)
    entries = read(os.path.join(out, "entries")).decode().split()
    check(sorted(entries) == [".", "..", ".settings", "17.bird"], "entries: %r" % entries, context)
    print("full_disk: write refused, old build and .settings whole, no partial file")


def case_unreadable_settings(case):
    """A .settings that cannot be read stops -G and is kept as it is."""
    url = case.env.start()
    settings = case.env.device_file(".settings")
    write(settings, OLD_SETTINGS)
    os.chmod(settings, 0o200)
    argv = []
    if os.geteuid() == 0:  # root reads anything: run as another user
        if shutil.which("setpriv") is None:
            print("unreadable_settings skipped: running as root without setpriv")
            return
        os.chmod(case.env.tmp, 0o755)
        for base, dirs, files in os.walk(case.env.home):
            for name in dirs + files + [""]:
                os.chown(os.path.join(base, name), 65534, 65534)
        argv = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
    env = updater_env(case)
    proc = subprocess.run(argv + [case.args.updater, "-G", "-d", HUB, "-u", url], env=env,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    context = "exit %d\n--- stdout\n%s--- stderr\n%s" % (proc.returncode, proc.stdout.decode(),
                                                         proc.stderr.decode())
    check(proc.returncode == 1, "expected exit 1", context)
    check("Cannot read the attribute file " + settings in proc.stderr.decode(), "no message", context)
    os.chmod(settings, 0o600)
    check(read(settings).decode() == OLD_SETTINGS, ".settings was replaced", context)
    check(not os.path.exists(case.env.device_file("17.bird")), "a build was stored", context)


def case_lookalike_entries(case):
    """Only the entry named exactly by the serial is the device's."""
    url = case.env.start()
    root = os.path.dirname(case.device)
    backup = os.path.join(root, "old-%s-backup" % HUB)
    write(os.path.join(backup, ".settings"), OLD_SETTINGS)
    proc = case.env.updater("-G", "-d", HUB, url=url)
    check(proc.returncode == 0, "-G failed", proc.context)
    check(read(case.env.device_file("17.bird")) == case.env.birds["17"], "build not in its directory")
    check(sorted(os.listdir(backup)) == [".settings"], "the look-alike got files", proc.context)
    check(read(os.path.join(backup, ".settings")).decode() == OLD_SETTINGS, "look-alike changed")
    # A plain file of the serial's name: a clear error naming it.
    shutil.rmtree(case.device)
    write(case.device, "not a directory")
    proc = case.env.updater("-G", "-d", HUB, url=url)
    check(proc.returncode == 1, "expected exit 1", proc.context)
    check(case.device + " exists and is a file" in proc.err, "the file is not named", proc.context)
    check(read(case.device) == b"not a directory", "the plain file changed")


def case_linked_build(case):
    """A link in the store is replaced, never written through."""
    url = case.env.start()
    target = os.path.join(case.env.tmp, "elsewhere.bird")
    write(target, b"keep me")
    os.makedirs(case.device, exist_ok=True)
    os.symlink(target, case.env.device_file("17.bird"))
    proc = case.env.updater("-G", "-d", HUB, url=url)
    check(proc.returncode == 0, "-G failed", proc.context)
    check(read(target) == b"keep me", "written through the link")
    check(not os.path.islink(case.env.device_file("17.bird")), "the link is still there")
    check(read(case.env.device_file("17.bird")) == case.env.birds["17"], "build not stored")


class FakeServer:
    """Answers the requests of -G with a chosen current build and firmware
    identifier, and keeps the request targets as they arrived."""

    def __init__(self, current, firmware, bird):
        self.paths = []
        owner = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                owner.paths.append(self.path)
                query = self.path.split("?", 1)[1] if "?" in self.path else ""
                op = [p[3:] for p in query.split("&") if p.startswith("op=")]
                body = {"hi": "ok\n", "qu": "ok\n%s\n%s\n" % (current, firmware),
                        "builds": "ok\n17;1.0\n",
                        "bird": "ok\n" + base64.b64encode(bird).decode() + "\n"}.get(
                            op[0] if op else "", "error\n")
                data = body.encode()
                self.send_response(200)
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                self.wfile.write(data)

            def log_message(self, *args):
                pass

        self.httpd = http.server.HTTPServer(("127.0.0.1", 0), Handler)
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)
        self.thread.start()
        self.url = "http://127.0.0.1:%d/cgi/u" % self.httpd.server_address[1]

    def stop(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def case_current_not_a_number(case):
    """A current build that is not a number stores nothing."""
    fake = FakeServer("abc", "hub-40", b"bird bytes")
    try:
        proc = case.env.updater("-G", "-d", HUB, url=fake.url)
    finally:
        fake.stop()
    check(proc.returncode == 1, "expected exit 1", proc.context)
    check("The server's current build 'abc' is not a build number" in proc.err, "no message",
          proc.context)
    check(not os.path.exists(case.env.device_file("0.bird")), "0.bird stored", proc.context)
    check("LATEST_DOWNLOAD" not in case.env.settings(), "LATEST_DOWNLOAD recorded", proc.context)
    check(not any("op=bird" in p for p in fake.paths), "a build was asked for", "\n".join(fake.paths))


def case_escaped_parameters(case):
    """A firmware identifier from the server cannot add or cut parameters."""
    for firmware, escaped in (("birch&op=hi", "fw=birch%26op%3Dhi&"), ("birch#x", "fw=birch%23x&"),
                              ("hub-40", "fw=hub-40&")):
        fake = FakeServer("17", firmware, b"bird bytes")
        try:
            proc = case.env.updater("-G", "-d", HUB, url=fake.url)
        finally:
            fake.stop()
        check(proc.returncode == 0, "-G failed for %r" % firmware, proc.context)
        bird = [p for p in fake.paths if "op=bird" in p]
        check(len(bird) == 1, "bird requests: %r" % fake.paths, proc.context)
        check(escaped in bird[0], "%r went out as %s" % (firmware, bird[0]), proc.context)
        check("sn=%s&" % HUB in bird[0] and "bld=17&" in bird[0], "parameters cut: " + bird[0])


def case_build_beyond_32_bits(case):
    """-b with a number past 32 bits is an error, not the current build."""
    url = case.env.start()
    proc = case.env.updater("-G", "-d", HUB, "-b", "4294967313", url=url)
    check(proc.returncode == 1, "expected exit 1", proc.context)
    check("Build number '4294967313' does not fit in 32 bits" in proc.err, "no message", proc.context)
    check(not os.path.exists(case.env.device_file("17.bird")), "the current build was stored",
          proc.context)


CASES = {name[5:]: fn for name, fn in globals().items() if name.startswith("case_")}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--updater", required=True)
    parser.add_argument("--server", required=True)
    parser.add_argument("--rewriter", required=True)
    parser.add_argument("case", choices=sorted(CASES))
    args = parser.parse_args()
    args.mkbird = None
    case = Case(args)
    started = time.monotonic()
    try:
        CASES[args.case](case)
    except Failure as failure:
        print("FAILED: %s" % failure)
        return 1
    finally:
        case.env.close()
    print("passed: %s (%.1f s)" % (args.case, time.monotonic() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main())
