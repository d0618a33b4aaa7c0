#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Does nothing when they are all there already.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang pkg-config python3
  # libFuzzer and the sanitizer runtimes for clang (scripts/fuzz.sh)
  libclang-rt-14-dev
  libgtest-dev libgmock-dev libcli11-dev nlohmann-json3-dev
  # the setup window, and the font that draws its Japanese texts
  qt6-base-dev fonts-ipafont-gothic
  # the network namespaces of the lab tests, the pictures and the demo
  iproute2
  # the doctor's firewall findings are tested against real nftables and
  # iptables rules
  nftables iptables
  # the Windows cross build and its tests under Wine
  g++-mingw-w64-x86-64-posix wine wine64 googletest
  # an X display for the Win32 dialog under Wine, and its picture's locale
  xvfb locales
)
# Callers that need more (packaging, its checks) name them here.
read -r -a extra <<<"${TAMRO_EXTRA_PACKAGES:-}"
packages+=("${extra[@]}")

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if ((${#missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "missing packages: ${missing[*]} (run as root, or install them)" >&2
    exit 1
  fi
  echo "installing: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
