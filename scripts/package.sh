#!/usr/bin/env bash
# Builds the Debian packages (libkelvarion2, libkelvarion-dev, mirovane-updater,
# mirovane-updater-tools) from a Release build without tests or benchmarks,
# checks each with lintian (when it is installed; errors fail the script) and
# checks that apt-get would install them together.
#
#   scripts/package.sh
#
# Environment: PACKAGE_BUILD_DIR (default build-package/), JOBS (default 2).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
dir=${PACKAGE_BUILD_DIR:-$here/build-package}
jobs=${JOBS:-2}

# The distribution's hardening flags (stack protector, fortified functions,
# read-only relocations bound at start), as its own packages are built.
cflags="" ldflags=""
if command -v dpkg-buildflags >/dev/null; then
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  cflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
  ldflags=$(dpkg-buildflags --get LDFLAGS)
fi

echo "== configure $dir"
mkdir -p "$dir"
cmake -S "$here" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DUPDATER_BUILD_TESTS=OFF -DUPDATER_BUILD_BENCH=OFF -DUPDATER_BUILD_FUZZ=OFF -DUPDATER_SANITIZE= \
  -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" \
  >"$dir/configure.log" 2>&1 || { cat "$dir/configure.log"; exit 1; }
echo "== build $dir"
cmake --build "$dir" -j "$jobs" >"$dir/build.log" 2>&1 || { tail -n 80 "$dir/build.log"; exit 1; }

echo "== packages"
rm -f "$dir"/*.deb
# One cpack run per version: the library's packages, then the program's.
for group in "runtime;development" "program;tools"; do
  (cd "$dir" && cpack -G DEB -D "CPACK_COMPONENTS_ALL=$group") >"$dir/cpack.log" 2>&1 ||
    { cat "$dir/cpack.log"; exit 1; }
done
debs=("$dir"/*.deb)
for deb in "${debs[@]}"; do
  echo "   $(basename "$deb")"
  dpkg-deb -c "$deb" | awk '{print "     " $6 ($7 ? " " $7 " " $8 : "")}'
done

status=0
if command -v lintian >/dev/null; then
  echo "== lintian"
  for deb in "${debs[@]}"; do
    # Tags of level error fail the check; warnings are listed (and explained
    # in packaging/README.md).
    lintian --fail-on error --tag-display-limit 0 "$deb" || status=1
  done
  [[ $status -eq 0 ]] && echo "   lintian: no errors"
else
  echo "== lintian is not installed: package check skipped"
fi

if command -v apt-get >/dev/null; then
  echo "== apt-get install -s"
  apt-get install -s "${debs[@]}" >"$dir/apt.log" 2>&1 || { cat "$dir/apt.log"; status=1; }
  grep -E '^Inst (libkelvarion|mirovane)' "$dir/apt.log" || true
fi
exit "$status"
