#!/usr/bin/env bash
# Installs every Debian package Tonvale needs to build, test and run. Idempotent: installs only
# what is missing. Works as root or as a user with sudo.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config ccache file dpkg-dev fakeroot
  qt6-base-dev libqt6opengl6-dev qt6-charts-dev qt6-translations-l10n
  libqt6sql6-sqlite libqt6sql6-psql postgresql libpq-dev
  libhidapi-dev libusb-1.0-0-dev libgsf-1-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  python3 python3-xlrd poppler-utils gnumeric libreoffice-calc-nogui
  desktop-file-utils appstream lintian librsvg2-bin
  fonts-noto-cjk xvfb xauth openbox xdotool imagemagick faketime
  umockdev libumockdev-dev
  libcpp-httplib-dev libsodium-dev libssl-dev chromium
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
