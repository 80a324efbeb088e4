#!/usr/bin/env bash
# Installs the Debian packages Quillon needs to build, test and run, when any is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libserialport-dev
  qt6-base-dev qt6-qpa-plugins libgl-dev
  libjpeg-dev
  libelf-dev nlohmann-json3-dev
  libcairo2-dev libxml2-dev libexpat1-dev
  libtomlplusplus-dev libsqlite3-dev libssl-dev libpq-dev postgresql
  libgtest-dev libgmock-dev libbenchmark-dev
  srecord unrtf
  gcc-avr avr-libc binutils-avr
  dpkg-dev file
  clang libclang-rt-14-dev
  xvfb xauth fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
