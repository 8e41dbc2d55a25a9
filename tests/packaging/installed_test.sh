#!/usr/bin/env bash
# Tests of the installed build, as a user outside the source tree meets it:
#
#   installed_test.sh CASE BUILD_DIR WORK_DIR LIBDIR [SANITIZER_FLAGS]
#
#   consume  the library's CMake package and pkg-config file build and link
#            the consumer program (twice), which then runs
#   runs     the installed Updater starts with no LD_LIBRARY_PATH, also after
#            the whole prefix was moved; its manual page, completion and udev
#            rule are installed
#   exports  the installed library exports its public interface only
#
# Each case installs the runtime, development and program components into
# WORK_DIR/prefix first.
set -euo pipefail

case=$1 build=$2 work=$3 libdir=$4 flags=${5:-}
here=$(cd "$(dirname "$0")" && pwd)
prefix=$work/prefix

fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"
for component in runtime development program; do
  cmake --install "$build" --prefix "$prefix" --component "$component" >"$work/install.log" ||
    { cat "$work/install.log"; fail "cmake --install of $component"; }
done

# What the build says the versions are: the installed program reports them.
program_line="Updater $(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"

case $case in
consume)
  # Only public headers are installed.
  for private in aStreamPrivate.h LinkState.h platform internal; do
    [[ ! -e $prefix/include/kelvarion/$private ]] || fail "private $private installed"
  done
  for via in package pkg-config; do
    dir=$work/consumer-$via
    PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig cmake -S "$here/consumer" -B "$dir" -DKELVARION_VIA=$via \
      -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" \
      >"$dir.log" 2>&1 || { cat "$dir.log"; fail "configure the consumer through $via"; }
    cmake --build "$dir" >>"$dir.log" 2>&1 || { cat "$dir.log"; fail "build the consumer through $via"; }
    out=$(env -u LD_LIBRARY_PATH "$dir/consumer") || fail "consumer ($via) exit $?"
    expected=$'library 2.9.26\nerror aErrTimeout\nmodule connected 0'
    [[ $out == "$expected" ]] || fail "consumer ($via) printed: $out"
    echo "ok: consumer through $via"
  done
  # A major version we do not have is refused by the package's version file.
  dir=$work/consumer-major
  sed 's/find_package(Kelvarion 2.9 REQUIRED)/find_package(Kelvarion 3.0 REQUIRED)/' \
    "$here/consumer/CMakeLists.txt" >"$work/CMakeLists.major.txt"
  mkdir -p "$work/major" && cp "$work/CMakeLists.major.txt" "$work/major/CMakeLists.txt" &&
    cp "$here/consumer/consumer.cpp" "$work/major/"
  if cmake -S "$work/major" -B "$dir" -DCMAKE_PREFIX_PATH="$prefix" >"$dir.log" 2>&1; then
    fail "find_package(Kelvarion 3.0) accepted version 2"
  fi
  echo "ok: another major version is refused"
  ;;
runs)
  for file in share/man/man1/Updater.1.gz share/bash-completion/completions/Updater \
              lib/udev/rules.d/60-kelvarion.rules; do
    [[ -s $prefix/$file ]] || fail "$file not installed"
  done
  bash -n "$prefix/share/bash-completion/completions/Updater" || fail "completion script does not parse"
  runpath=$(readelf -d "$prefix/bin/Updater" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
  [[ $runpath == "\$ORIGIN/../$libdir" ]] || fail "RUNPATH is '$runpath'"
  moved=$work/moved
  for root in "$prefix" "$moved"; do
    out=$(env -i PATH=/usr/bin:/bin HOME="$work" "$root/bin/Updater" --version) ||
      fail "$root/bin/Updater --version: exit $?"
    [[ $(head -n 1 <<<"$out") == "$program_line" ]] || fail "printed: $out"
    [[ $(tail -n 1 <<<"$out") == "libkelvarion 2.9.26" ]] || fail "printed: $out"
    # It is the library beside the program that was loaded.
    loaded=$(env -i PATH=/usr/bin:/bin LD_TRACE_LOADED_OBJECTS=1 "$root/bin/Updater" |
      sed -n 's/^[[:space:]]*libkelvarion.so.2 => \(.*\) (0x.*/\1/p')
    [[ -n $loaded && $(realpath "$loaded") == $(realpath "$root/$libdir/libkelvarion.so.2") ]] ||
      fail "library loaded from '$loaded', not from $root"
    echo "ok: Updater runs from $root"
    [[ $root == "$moved" ]] || mv "$prefix" "$moved"
  done
  ;;
exports)
  library=$prefix/$libdir/libkelvarion.so.2
  # Exported, defined symbols, demangled. Allowed: the procedural functions
  # (a<Family>_<Verb>) declared in an installed header, and namespace
  # Mirovane::Kelvarion with the type information, virtual tables and thunks
  # the C++ runtime needs for users of its classes.
  nm -DC --defined-only "$library" | sed -E 's/^[0-9a-f]+ [A-Za-z] //' | sort -u >"$work/exports.txt"
  count=$(wc -l <"$work/exports.txt")
  [[ $count -gt 100 ]] || fail "only $count symbols exported"
  bad=()
  while IFS= read -r symbol; do
    if [[ $symbol =~ ^a[A-Z][A-Za-z0-9]*_[A-Za-z0-9_]+$ ]]; then
      grep -qw -- "$symbol" "$prefix"/include/kelvarion/*.h || bad+=("$symbol (in no installed header)")
    elif [[ $symbol =~ ^(typeinfo\ for\ |typeinfo\ name\ for\ |vtable\ for\ |non-virtual\ thunk\ to\ )?Mirovane::Kelvarion:: ]]; then
      :
    else
      bad+=("$symbol")
    fi
  done <"$work/exports.txt"
  if [[ ${#bad[@]} -gt 0 ]]; then
    printf '  %s\n' "${bad[@]}" >&2
    fail "${#bad[@]} of $count exported symbols are outside the public interface"
  fi
  echo "ok: $count exported symbols, all public"
  ;;
*)
  fail "unknown case $case"
  ;;
esac
