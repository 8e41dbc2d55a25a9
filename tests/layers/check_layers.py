#!/usr/bin/env python3
"""Checks the layers of the source tree by what each file includes.

    check_layers.py [ROOT]

The layers, lowest first: platform (link/platform/), link (link/), api (api/),
display (app/display/, the display interface the engine prints through),
engine (Updater/) and app (app/). A file may include headers of its own layer
and of the layers below it, never of a layer above. On top of that:
  - the private headers of the library (link/platform/, link/internal/,
    api/internal/) are for the library itself: the display, the engine and
    the front end use its public headers only, and a public header (one
    directly in link/ or api/, installed for other programs) includes none;
  - operating-system headers are included in link/platform/ only;
  - each third-party library has one home (libusb in link/platform/, hidapi
    in the engine's SDP loaders, libcurl in the server client, zlib in the
    BIRD file reader).
The platform layer may use the library's error codes and export macros
(link/aError.h, link/aDefs.h): they are the vocabulary every layer shares.
tests/, tools/ and bench/ are outside the layers and are not checked.

Prints one line per violation (file:line: what) and exits 1 when there is
any, else prints a summary and exits 0.
"""
import os
import re
import sys

# (layer, directory prefix); the longest matching prefix decides.
LAYERS = [
    ("platform", "link/platform/"),
    ("link", "link/"),
    ("api", "api/"),
    ("display", "app/display/"),
    ("engine", "Updater/"),
    ("app", "app/"),
]
RANK = {name: rank for rank, (name, _) in enumerate(LAYERS)}

PRIVATE_DIRS = ("link/platform/", "link/internal/", "api/internal/")
# Layers that see the library through its public headers only.
PUBLIC_ONLY = ("display", "engine", "app")
# Headers of a higher layer the platform layer may include.
SHARED_BASE = ("link/aError.h", "link/aDefs.h")

# The include roots of the build, in the order the compiler searches them.
INCLUDE_ROOTS = (
    "link", "api", "api/protocol", "app/display", "app",
    "Updater/UpdaterLib/source", "Updater/UpdaterLib/source/BirdFile",
    "Updater/UpdaterLib/source/store",
)

OS_HEADER = re.compile(
    r"^(unistd\.h|fcntl\.h|termios\.h|poll\.h|pthread\.h|dirent\.h|dlfcn\.h|"
    r"ifaddrs\.h|netdb\.h|sched\.h|semaphore\.h|(sys|arpa|netinet|net|linux)/.*|"
    r"windows\.h|winsock2?\.h|ws2tcpip\.h|iphlpapi\.h|setupapi\.h|winusb\.h|"
    r"usbiodef\.h|initguid\.h|io\.h|direct\.h|process\.h)$",
    re.IGNORECASE)

# Third-party header -> the one directory whose files may include it.
THIRD_PARTY_HOMES = {
    "libusb.h": "link/platform/",
    "libusb-1.0/libusb.h": "link/platform/",
    "hidapi.h": "Updater/UpdaterLib/source/recovery/sdp/",
    "hidapi/hidapi.h": "Updater/UpdaterLib/source/recovery/sdp/",
    "curl/curl.h": "Updater/UpdaterLib/source/server/",
    "zlib.h": "Updater/UpdaterLib/source/BirdFile/",
}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
SOURCE_SUFFIXES = (".c", ".cpp", ".h", ".hpp")


def layer_of(path):
    """The layer of a path relative to the root, or None outside the layers."""
    best = None
    for name, prefix in LAYERS:
        if path.startswith(prefix) and (best is None or len(prefix) > len(best[1])):
            best = (name, prefix)
    return best[0] if best else None


def resolve(root, including, delimiter, name):
    """The project file an include names (relative to root), or None when it
    is not one of the project's (a system or third-party header)."""
    candidates = []
    if delimiter == '"':
        candidates.append(os.path.join(os.path.dirname(including), name))
    candidates += [os.path.join(r, name) for r in INCLUDE_ROOTS]
    for candidate in candidates:
        candidate = os.path.normpath(candidate)
        if not candidate.startswith("..") and os.path.isfile(os.path.join(root, candidate)):
            return candidate.replace(os.sep, "/")
    return None


def is_public_header(path):
    return path.endswith(".h") and path.count("/") == 1 and path.startswith(("link/", "api/"))


def check_include(path, layer, delimiter, name, target):
    """The violation of one include, or None."""
    if target is None:
        if layer != "platform" and OS_HEADER.match(name):
            return "operating-system header <%s> outside link/platform/" % name
        home = THIRD_PARTY_HOMES.get(name)
        if home and not path.startswith(home):
            return "<%s> belongs in %s only" % (name, home)
        return None
    target_layer = layer_of(target)
    if target_layer is None:
        return "includes %s, which is outside the layers" % target
    if layer in PUBLIC_ONLY and target.startswith(PRIVATE_DIRS):
        return "includes the library's private header %s" % target
    if is_public_header(path) and target.startswith(PRIVATE_DIRS):
        return "public header includes the private header %s" % target
    if RANK[target_layer] > RANK[layer]:
        if layer == "platform" and target in SHARED_BASE:
            return None
        return "%s layer includes %s of the %s layer above it" % (layer, target, target_layer)
    return None


def layered_files(root):
    for top in sorted({prefix.split("/")[0] for _, prefix in LAYERS}):
        for directory, subdirs, files in os.walk(os.path.join(root, top)):
            subdirs.sort()
            for file in sorted(files):
                if file.endswith(SOURCE_SUFFIXES):
                    yield os.path.relpath(os.path.join(directory, file), root).replace(os.sep, "/")


def check(root):
    """Every violation in the tree under root, and the number of files read."""
    violations = []
    count = 0
    for path in layered_files(root):
        layer = layer_of(path)
        if layer is None:
            continue
        count += 1
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as source:
            for number, line in enumerate(source, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                delimiter, name = match.groups()
                target = resolve(root, path, delimiter, name)
                problem = check_include(path, layer, delimiter, name, target)
                if problem:
                    violations.append("%s:%d: %s" % (path, number, problem))
    return violations, count


def main(argv):
    root = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
    if not os.path.isdir(os.path.join(root, "link")):
        print("check_layers: %s is not the source tree (no link/)" % root, file=sys.stderr)
        return 1
    violations, count = check(root)
    for violation in violations:
        print(violation, file=sys.stderr)
    if violations:
        print("layers: %d violation(s) in %d files" % (len(violations), count), file=sys.stderr)
        return 1
    print("layers: %d files checked, no violation" % count)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
