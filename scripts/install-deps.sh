#!/usr/bin/env bash
# Installs the Debian packages the project needs; only what is missing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libpugixml-dev libmd-dev
  qt6-base-dev qt6-base-dev-tools libqt6dbus6 libgl-dev
  xvfb xauth python3 python3-xlrd netcat-openbsd
  fonts-wine
)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
