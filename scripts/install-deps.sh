#!/usr/bin/env bash
# Installs every Debian package Corvalis needs to build, run and test.
# Idempotent: packages already present are skipped, and apt-get update runs
# only when something is missing. Run as root (or with sudo available).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools
  libusb-1.0-0-dev
  libopencv-core-dev libopencv-imgproc-dev libopencv-imgcodecs-dev
  libtiff-dev libtiff-tools
  libjpeg-dev
  libpugixml-dev libxml2-utils
  libcfitsio-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  umockdev libumockdev-dev
  xvfb xauth imagemagick python3-astropy
  clang libclang-rt-14-dev clang-format
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
