#!/usr/bin/env python3
"""Runs the built Updater program with a temporary $HOME and checks its output
and exit code. Usage: cli_test.py <path to Updater> <case name>."""
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
BANNER = "Updater (Version: 1.1 Jan 20 2023)\n"
NOTICE = "(Copyright (c) Mirovane. All rights reserved.)\n"
RELEASE = "[Kelvarion Release: 2.9.26]\n"
# A loopback port nothing listens on, so server requests fail at once.
DEAD_SERVER = "http://127.0.0.1:9/cgi/u"

CASES = {}


def case(fn):
    CASES[fn.__name__] = fn
    return fn


def expected(name):
    with open(os.path.join(HERE, "expected", name), encoding="utf-8") as f:
        return f.read()


class Run:
    def __init__(self, program, home, args, env_home=True):
        env = {k: v for k, v in os.environ.items() if k != "HOME"}
        if env_home:
            env["HOME"] = home
        proc = subprocess.run([program] + args, env=env, cwd=home if os.path.isdir(home) else None,
                              capture_output=True, timeout=120)
        self.code = proc.returncode
        self.out = proc.stdout.decode("utf-8", "replace")
        self.err = proc.stderr.decode("utf-8", "replace")
        self.args = args

    def describe(self):
        return "args=%r exit=%d\n--- stdout\n%s--- stderr\n%s" % (
            [a[:60] for a in self.args], self.code, self.out[:3000], self.err[:3000])


class Checker:
    def __init__(self, program, home):
        self.program = program
        self.home = home
        self.failures = []

    def run(self, *args, **kw):
        return Run(self.program, self.home, list(args), **kw)

    def check(self, condition, what, run):
        if not condition:
            self.failures.append("%s\n%s" % (what, run.describe()))

    def equal(self, actual, wanted, what, run):
        if actual != wanted:
            self.failures.append("%s: got %s, wanted %s\n%s" % (what, repr(actual)[:400], repr(wanted)[:400],
                                                                 run.describe()))

    def usage_directory(self):
        return os.path.join(self.home, ".mirovane", "updater")


@case
def no_arguments(c):
    r = c.run()
    c.equal(r.code, 0, "exit", r)
    c.equal(r.out, BANNER + NOTICE + RELEASE, "stdout", r)
    c.equal(r.err, expected("usage_short.txt"), "stderr", r)
    c.check(not os.path.exists(c.usage_directory()), "usage alone makes no directory", r)


@case
def help_texts(c):
    for args in (["-h"], ["-H"], ["--help"], ["--he"], ["-h", "-X", "0"], ["-I", "-h"]):
        r = c.run(*args)
        c.equal(r.code, 0, "exit", r)
        c.equal(r.out, BANNER + NOTICE + RELEASE, "stdout", r)
        c.equal(r.err, expected("usage_full.txt"), "full usage", r)
    for args in (["-X", "0", "-h"], ["-X=0x0", "--help"]):
        r = c.run(*args)
        c.equal(r.err, expected("usage_extended.txt"), "extended usage", r)
    # -X alone asks for no command: only the short usage, with the release line.
    r = c.run("-X", "0")
    c.equal(r.code, 0, "exit", r)
    c.equal(r.err, expected("usage_short.txt"), "short usage", r)


@case
def version(c):
    # Program and library version on stdout, nothing else; no directory made.
    for args in (["--version"], ["-V"], ["-V", "-D", "-d", "xyz"]):
        r = c.run(*args)
        c.equal(r.code, 0, "exit", r)
        c.equal(r.out, "Updater 1.1\nlibkelvarion 2.9.26\n", "stdout", r)
        c.equal(r.err, "", "stderr", r)
        c.check(not os.path.exists(c.usage_directory()), "no directory", r)
    # "--" still selects --help; a shortened --version is not an option.
    r = c.run("--")
    c.equal(r.err, expected("usage_full.txt"), "full usage", r)
    r = c.run("--vers")
    c.equal(r.out, BANNER + NOTICE + RELEASE, "unknown option: usage", r)


@case
def rejected_options(c):
    cases = [
        (["-d", "xyz", "-I"], "Invalid serial number obtained from argument [xyz]\n"),
        (["-d", "0", "-I"], "Invalid serial number obtained from argument [0]\n"),
        (["-d=0x", "-I"], "Invalid serial number obtained from argument []\n"),
        (["-d", "123456789", "-I"], "Invalid serial number obtained from argument [123456789]\n"),
        (["-r", "12G4", "-D"], "Invalid router serial number obtained from argument [12G4]\n"),
        (["-t", "usb", "-D"],
         "Invalid transport type:[usb]\nMust be one of the following: USB, TCPIP, RECOVER\n"),
        (["-Y"], "Unhandled command: [-Y]\n"),
    ]
    for args, message in cases:
        r = c.run(*args)
        c.equal(r.code, 1, "exit", r)
        c.equal(r.out, BANNER + NOTICE, "stdout", r)
        c.equal(r.err, message + expected("usage_short.txt"), "stderr", r)
    c.check(not os.path.exists(c.usage_directory()), "no command ran", r)


@case
def quietly_ignored_arguments(c):
    # Unknown options, a parameter option without its parameter, an option
    # given a parameter it does not take, and plain arguments: all passed over.
    for args in (["-I", "-e"], ["-Q", "-I"], ["-I", "-d"], ["-I=1"], ["plain", "-Bx"],
                 ["-I", "-o", "-n"], ["-", "-I"]):
        r = c.run(*args)
        c.equal(r.code, 0, "exit", r)
        c.equal(r.out.count(BANNER), 1, "banner", r)
        c.check("Invalid" not in r.err and "Unhandled" not in r.err, "no message", r)


@case
def slash_arguments_are_plain(c):
    # "/h" is not the help option here, and a path after -s is its parameter.
    r = c.run("/h")
    c.equal(r.code, 0, "exit", r)
    c.equal(r.err, expected("usage_short.txt"), "/h is no option", r)
    r = c.run("-N", "-s", "/dev/ttyUSB0-missing")
    c.equal(r.code, 1, "exit", r)
    c.check("Must specify the serial port" not in r.err, "the path was taken as -s", r)
    c.check("Got no response from chip" in r.err, "fingerprint was tried", r)


@case
def updater_directory_is_created(c):
    r = c.run("-I")
    c.equal(r.code, 0, "exit", r)
    c.check(os.path.isdir(c.usage_directory()), "directory created", r)
    c.equal(r.out, BANNER, "stdout", r)
    c.equal(r.err, "", "stderr", r)
    for args in (["-C"], ["-Z", "1"], ["-I", "-OVERRIDE"], ["-I", "-OV"]):
        r = c.run(*args)
        c.equal(r.code, 0, "exit", r)
        c.equal(r.err, "", "stderr", r)


@case
def updater_directory_cannot_be_made(c):
    blocker = os.path.join(c.home, "file-home")
    with open(blocker, "w") as f:
        f.write("not a directory")
    r = Run(c.program, blocker, ["-I"])
    c.equal(r.code, 1, "exit", r)
    c.equal(r.err, "Could not find updater directory at %s/.mirovane/updater\n" % blocker, "stderr", r)
    r = Run(c.program, c.home, ["-I"], env_home=False)
    c.equal(r.code, 1, "exit without $HOME", r)
    c.equal(r.err, "Could not find updater directory at \n", "stderr without $HOME", r)


@case
def diagnostics(c):
    r = c.run("-X", "0x10000", "-I")
    c.equal(r.code, 0, "exit", r)
    c.equal(r.err, "\nApplication parameters:[Updater]\n\t[%s]\n\t[-X]\n\t[0x10000]\n\t[-I]\n"
            % c.program, "application parameters", r)
    r = c.run("-X", "1", "-d", "0x40f5849a", "-I")
    c.equal(r.err, "Discarding '0x' serial number prefix\n", "prefix note", r)
    r = c.run("-d", "0x40f5849a", "-I")
    c.equal(r.err, "", "no note without -X", r)
    r = c.run("-X", "12abc", "-I")
    c.equal(r.code, 0, "exit", r)
    c.equal(r.err, 'Invalid format for "-X" parameter, unprocessed characters [abc]\n', "leftover", r)
    r = c.run("-X", "99999999999", "-I")
    c.check(r.err.startswith('Invalid format for "-X" parameter'), "too large", r)


@case
def missing_required_parameters(c):
    r = c.run("-B")
    c.equal(r.code, 1, "exit", r)
    c.equal(r.err, "Error must supply a serial number for the List Builds command\n"
            + expected("usage_short.txt"), "-B", r)
    r = c.run("-G")
    c.equal(r.code, 1, "exit", r)
    c.equal(r.err, "-G must specify a specific device via -d\n--help for usage information\n", "-G", r)
    r = c.run("-U")
    c.equal(r.code, 1, "exit", r)
    c.equal(r.err, "Must specify the specific device to be updated\n", "-U", r)
    r = c.run("-N", "-D")
    c.equal(r.code, 1, "exit", r)
    c.equal(r.err, "Must specify the serial port used for connecting\n", "-N", r)
    c.check("Searching" not in r.out, "nothing after a failed -N check", r)


@case
def command_order_and_failures(c):
    # -G runs before -B; the build number is printed as read (decimal).
    r = c.run("-B", "-G", "-d=40f5849a", "-b", "007", "-u", DEAD_SERVER)
    c.equal(r.code, 1, "exit", r)
    c.check(r.out.startswith(BANNER + "Retrieving firmware for device with serial number 40F5849A\n"
                             "Retrieving firmware build 7\n"), "-G first", r)
    r = c.run("-G", "-d", "40F5849A", "-u", DEAD_SERVER)
    c.equal(r.code, 1, "exit", r)
    c.check("No build specified\nUsing Latest build\n" in r.out, "latest build", r)
    # A failed build listing is a failed command.
    r = c.run("-B", "-d", "40F5849A", "-u", DEAD_SERVER)
    c.equal(r.code, 1, "-B exit when the server cannot be asked", r)
    # USB only: discovery over TCP/IP would send multicast outside loopback.
    r = c.run("-D", "-t", "USB", "-r", "D272031D", "-B")
    c.check("Searching for Kelvarion Network devices connected to D272031D\n" in r.out,
            "-D with a router", r)
    c.check("List Builds" not in r.err, "-D excludes -B", r)


@case
def over_long_arguments(c):
    huge = "A" * 100000
    r = c.run("-d", huge, "-I")
    c.equal(r.code, 1, "exit", r)
    first = r.err.split("\n", 1)[0]
    c.check(first.startswith("Invalid serial number obtained from argument [AAAA"), "message", r)
    c.check(len(first) <= 2047, "message bounded", r)
    r = c.run("-s", huge, "-f", huge, "-l", huge, "-k", huge, "-b", "0" * 4999 + "7", plain_arg(huge), "-I")
    c.equal(r.code, 0, "exit", r)
    # A build number of 5000 digits does not fit in 32 bits: refused, with a bounded line.
    r = c.run("-b", "9" * 5000, "-I")
    c.equal(r.code, 1, "exit", r)
    first = r.err.split("\n", 1)[0]
    c.check(first.startswith("Build number '9999"), "build message", r)
    c.check(len(first) <= 2047, "build message bounded", r)
    r = c.run("-X", "0x10000", "-I", huge)
    c.equal(r.code, 0, "exit", r)
    c.check("\t[" + huge[:2000] in r.err, "long diagnostic line written", r)
    c.check(len(r.err) < 4000, "and cut short", r)


def plain_arg(text):
    return "x" + text


def main():
    program, name = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory(prefix="updater-cli-") as home:
        checker = Checker(os.path.abspath(program), home)
        CASES[name](checker)
    if checker.failures:
        for failure in checker.failures:
            print("FAIL:", failure)
        return 1
    print("ok", name)
    return 0


if __name__ == "__main__":
    if len(sys.argv) == 2 and sys.argv[1] == "--list":
        print(";".join(CASES))
        sys.exit(0)
    sys.exit(main())
