#!/usr/bin/env bash
# Installs the Debian packages the project needs; only what is missing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libpugixml-dev libmd-dev
  qt6-base-dev qt6-base-dev-tools libqt6dbus6 libgl-dev
  xvfb xauth openbox python3 python3-xlrd netcat-openbsd
  fonts-wine
  locales libc-l10n qt6-translations-l10n
)
# One query for the whole list. A package dpkg does not know is not in its answer and counts as
# missing like any not installed; dpkg-query then exits 1, a status no one looks at here.
declare -A installed=()
while read -r name status; do
  if [ "$status" = "install ok installed" ]; then installed[$name]=1; fi
done < <(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null)
missing=()
for p in "${packages[@]}"; do
  [ -n "${installed[$p]:-}" ] || missing+=("$p")
done
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ]; then
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
# The German locale, for running the program and its tests in German; generated only where it
# is missing. The list is read whole: a reader that stops at the first match would end the
# lister early, which the pipe's status would count as a missing locale.
locales=$(locale -a 2>/dev/null || true)
if ! grep -qi '^de_DE\.utf-\?8$' <<<"$locales"; then
  $sudo sed -i 's/^# *\(de_DE\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^de_DE\.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
fi
