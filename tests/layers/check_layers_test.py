#!/usr/bin/env python3
"""The layer check finds what it must in a small tree, and nothing more."""
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import check_layers  # noqa: E402

# A tree with the library's layout: public headers, private ones, one file
# per layer. Each entry: path -> includes.
BASE_TREE = {
    "link/aDefs.h": [],
    "link/aError.h": ['"aDefs.h"'],
    "link/aLink.h": ['"aError.h"'],
    "link/aStream.h": ['"aError.h"'],
    "link/internal/aLinkRecord.h": ['"aLink.h"'],
    "link/platform/serial.h": ['"aError.h"'],
    "link/platform/posix/serial_posix.cpp": ['"../serial.h"', "<termios.h>", "<unistd.h>"],
    "link/platform/posix/usb_libusb.cpp": ["<libusb.h>"],
    "link/aLink.cpp": ['"internal/aLinkRecord.h"', '"platform/serial.h"', "<string.h>"],
    "api/Link.h": ['"aLink.h"'],
    "api/internal/LinkState.h": ['"Link.h"'],
    "api/Link.cpp": ['"internal/LinkState.h"', '"platform/serial.h"'],
    "app/display/UpdaterDisplay.h": ['"aDefs.h"'],
    "Updater/UpdaterLib/source/UpdaterApp.h": ['"Link.h"', '"UpdaterDisplay.h"', "<vector>"],
    "Updater/UpdaterLib/source/recovery/sdp/HidSeam.cpp": ["<hidapi.h>"],
    "app/main.cpp": ['"UpdaterApp.h"', '"aLink.h"'],
    # Outside the layers: anything goes.
    "tests/link/link_test.cpp": ['"platform/serial.h"', '"internal/aLinkRecord.h"', "<unistd.h>"],
    "tools/sim/Sim.cpp": ['"platform/serial.h"', '"UpdaterApp.h"'],
}


def write_tree(root, tree):
    for path, includes in tree.items():
        full = os.path.join(root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w") as f:
            f.write("// %s\n" % path)
            for include in includes:
                f.write("#include %s\n" % include)


def violations_of(extra):
    """(file, line) of every violation in the base tree plus the extra files."""
    tree = dict(BASE_TREE)
    for path, includes in extra.items():
        tree[path] = tree.get(path, []) + includes
    with tempfile.TemporaryDirectory() as root:
        write_tree(root, tree)
        violations, _ = check_layers.check(root)
    return sorted(v.split(": ", 1)[0] for v in violations), violations


class LayerCheck(unittest.TestCase):
    def test_a_sound_tree_passes(self):
        found, text = violations_of({})
        self.assertEqual(found, [], text)

    def test_private_headers_are_refused_above_the_library(self):
        found, text = violations_of({
            "Updater/UpdaterLib/source/Engine.cpp": ['"platform/serial.h"', '"internal/aLinkRecord.h"'],
            "app/Options.cpp": ['"internal/LinkState.h"', '<platform/serial.h>'],
            "app/display/UpdaterDisplay.cpp": ['"platform/serial.h"'],
        })
        self.assertEqual(found, [
            "Updater/UpdaterLib/source/Engine.cpp:2", "Updater/UpdaterLib/source/Engine.cpp:3",
            "app/Options.cpp:2", "app/Options.cpp:3", "app/display/UpdaterDisplay.cpp:2"], text)
        self.assertTrue(all("private header" in v for v in text), text)

    def test_public_headers_include_public_headers_only(self):
        found, text = violations_of({
            "link/aStream.h": ['"internal/aLinkRecord.h"'],
            "api/Link.h": ['"internal/LinkState.h"', '"platform/serial.h"'],
            # A private header or a source may.
            "link/internal/aStreamPrivate.h": ['"platform/serial.h"'],
            "link/aStream.cpp": ['"internal/aStreamPrivate.h"'],
        })
        self.assertEqual(found, ["api/Link.h:3", "api/Link.h:4", "link/aStream.h:3"], text)
        self.assertTrue(all("public header includes the private header" in v for v in text), text)

    def test_a_layer_never_includes_one_above_it(self):
        found, text = violations_of({
            "link/platform/posix/file.cpp": ['"aLink.h"'],          # platform -> link
            "link/aStream.cpp": ['"Link.h"'],                      # link -> api
            "api/Module.cpp": ['"UpdaterApp.h"'],                  # api -> engine
            "app/display/UpdaterDisplay.cpp": ['"UpdaterApp.h"'],  # display -> engine
            "Updater/UpdaterLib/source/Engine.cpp": ['"../../../app/Options.h"'],
            "app/Options.h": [],
        })
        self.assertEqual(found, [
            "Updater/UpdaterLib/source/Engine.cpp:2", "api/Module.cpp:2",
            "app/display/UpdaterDisplay.cpp:2", "link/aStream.cpp:2",
            "link/platform/posix/file.cpp:2"], text)

    def test_operating_system_and_third_party_headers_stay_home(self):
        found, text = violations_of({
            "link/aFile.cpp": ["<unistd.h>", "<sys/stat.h>", "<Windows.h>"],
            "api/Link.cpp": ["<libusb.h>"],
            "Updater/UpdaterLib/source/Engine.cpp": ["<hidapi.h>", "<zlib.h>", "<curl/curl.h>"],
        })
        self.assertEqual(found, [
            "Updater/UpdaterLib/source/Engine.cpp:2", "Updater/UpdaterLib/source/Engine.cpp:3",
            "Updater/UpdaterLib/source/Engine.cpp:4", "api/Link.cpp:4",
            "link/aFile.cpp:2", "link/aFile.cpp:3", "link/aFile.cpp:4"], text)

    def test_the_command_line_reports_and_fails(self):
        script = os.path.join(HERE, "check_layers.py")
        with tempfile.TemporaryDirectory() as root:
            tree = dict(BASE_TREE)
            tree["app/main.cpp"] = tree["app/main.cpp"] + ['"platform/serial.h"']
            write_tree(root, tree)
            run = subprocess.run([sys.executable, script, root], capture_output=True, text=True)
            self.assertEqual(run.returncode, 1)
            self.assertIn("app/main.cpp:4: includes the library's private header link/platform/serial.h",
                          run.stderr)
            os.remove(os.path.join(root, "app/main.cpp"))
            run = subprocess.run([sys.executable, script, root], capture_output=True, text=True)
            self.assertEqual(run.returncode, 0, run.stderr)
        run = subprocess.run([sys.executable, script, os.path.join(root, "missing")],
                             capture_output=True, text=True)
        self.assertEqual(run.returncode, 1)
        self.assertIn("not the source tree", run.stderr)


if __name__ == "__main__":
    unittest.main()
