#!/usr/bin/env bash
# Installs the 32-bit Windows cross toolchain and Wine from Debian, and builds
# the libraries the Windows build needs into a sysroot:
#
#   scripts/windows-deps.sh [BUILD_DIR]      (default: build-win32)
#
# The sysroot is BUILD_DIR/sysroot (GoogleTest, libcurl with HTTP only,
# hidapi's Windows backend, all static). It is kept between runs: a library is
# rebuilt only when its stamp file is missing. Sources come from Debian only:
# GoogleTest from the googletest package, libcurl and hidapi from their Debian
# source packages, fetched with a private apt configuration (the machine's own
# apt configuration is left as it is).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build-win32}
mkdir -p "$build"
build=$(cd "$build" && pwd)
sysroot=$build/sysroot
work=$build/deps
host=i686-w64-mingw32
toolchain=$here/cmake/toolchain-i686-w64-mingw32.cmake
jobs=${JOBS:-2}
started=$SECONDS

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive

# ---- Packages -------------------------------------------------------------
packages=(g++-mingw-w64-i686-posix libz-mingw-w64-dev wine wine32 googletest dpkg-dev cmake)
missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
if [[ ${#missing[@]} -gt 0 ]]; then
  echo "Installing: ${missing[*]}"
  # wine32 is an i386 package.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo[@]}" dpkg --add-architecture i386
  fi
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

mkdir -p "$sysroot" "$work"

# ---- Debian source packages through a private apt configuration ----------
# Source lines are added to a copy of the machine's sources, with lists and
# cache of its own under the build tree.
apt_private() {
  local apt=$work/apt
  if [[ ! -f $apt/apt.conf ]]; then
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/sources.list.d"
    local found=0
    for file in /etc/apt/sources.list.d/*.sources; do
      [[ -f $file ]] || continue
      grep -q 'debian' "$file" || continue
      sed -e 's/^Types:.*/Types: deb-src/' "$file" >"$apt/sources.list.d/$(basename "$file")"
      found=1
    done
    if [[ -f /etc/apt/sources.list ]]; then
      grep -E '^deb ' /etc/apt/sources.list | sed -e 's/^deb /deb-src /' >"$apt/sources.list" || true
      [[ -s $apt/sources.list ]] && found=1
    fi
    [[ $found == 1 ]] || { echo "windows-deps: no Debian sources in /etc/apt" >&2; exit 1; }
    touch "$apt/sources.list"
    cat >"$apt/apt.conf" <<EOF
Dir::Etc::SourceList "$apt/sources.list";
Dir::Etc::SourceParts "$apt/sources.list.d";
Dir::State::Lists "$apt/lists";
Dir::Cache "$apt/cache";
EOF
    APT_CONFIG=$apt/apt.conf apt-get update -qq
  fi
  APT_CONFIG=$apt/apt.conf apt-get "$@"
}

# Unpacks Debian's source of package NAME into $work/src/NAME (once).
debian_source() {
  local name=$1
  local dir=$work/src/$name
  if [[ ! -f $dir/.unpacked ]]; then
    rm -rf "$dir" && mkdir -p "$dir"
    (cd "$dir" && apt_private source -qq "$name" >/dev/null 2>&1) ||
      (cd "$dir" && apt_private source "$name")
    touch "$dir/.unpacked"
  fi
  find "$dir" -mindepth 1 -maxdepth 1 -type d -name "$name-*" | head -n 1
}

cmake_cross() {
  local src=$1 out=$2; shift 2
  cmake -S "$src" -B "$out" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$sysroot" -DBUILD_SHARED_LIBS=OFF "$@" >"$out.configure.log" 2>&1 ||
    { cat "$out.configure.log"; exit 1; }
  cmake --build "$out" -j "$jobs" >"$out.build.log" 2>&1 || { tail -n 60 "$out.build.log"; exit 1; }
  cmake --install "$out" >/dev/null
}

# ---- GoogleTest -----------------------------------------------------------
if [[ ! -f $sysroot/.googletest ]]; then
  t=$SECONDS
  cmake_cross /usr/src/googletest "$work/googletest" -Dgtest_disable_pthreads=OFF
  touch "$sysroot/.googletest"
  echo "windows-deps: googletest built in $((SECONDS - t)) s"
fi

# ---- libcurl, HTTP only ---------------------------------------------------
if [[ ! -f $sysroot/.curl ]]; then
  t=$SECONDS
  src=$(debian_source curl)
  cmake_cross "$src" "$work/curl" -DHTTP_ONLY=ON -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF \
    -DCURL_USE_OPENSSL=OFF -DCURL_USE_SCHANNEL=OFF -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF \
    -DUSE_NGHTTP2=OFF -DUSE_LIBIDN2=OFF -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBPSL=OFF \
    -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_CRYPTO_AUTH=ON -DCURL_DISABLE_COOKIES=ON \
    -DENABLE_MANUAL=OFF -DENABLE_UNIX_SOCKETS=OFF -DCURL_CA_PATH=none -DCURL_CA_BUNDLE=none
  touch "$sysroot/.curl"
  echo "windows-deps: curl built in $((SECONDS - t)) s"
fi

# ---- hidapi, Windows backend ---------------------------------------------
if [[ ! -f $sysroot/.hidapi ]]; then
  t=$SECONDS
  src=$(debian_source hidapi)
  cmake_cross "$src" "$work/hidapi" -DHIDAPI_BUILD_HIDTEST=OFF
  touch "$sysroot/.hidapi"
  echo "windows-deps: hidapi built in $((SECONDS - t)) s"
fi

echo "windows-deps: sysroot $sysroot ready in $((SECONDS - started)) s"
