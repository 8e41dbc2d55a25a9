#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need.
# Quiet and quick when everything is there already; uses sudo when not root.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ccache
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libcurl4-openssl-dev libusb-1.0-0-dev libhidapi-dev libcpp-httplib-dev
  umockdev libumockdev-dev
  clang libclang-rt-14-dev
  iproute2 util-linux python3 curl
  lpc21isp
  imx-usb-loader
  file lintian
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
