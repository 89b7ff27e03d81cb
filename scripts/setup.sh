#!/usr/bin/env bash
# Installs every Debian package that building, running and testing the project needs.
# Safe to run again: apt-get skips what is already installed. Extra package names given as
# arguments are installed too (the fuzzing script asks for clang this way).
#   scripts/setup.sh [PACKAGE...]
set -euo pipefail

PACKAGES=(
  g++ cmake make pkg-config ninja-build
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  zlib1g-dev libdeflate-dev
  libwxgtk3.2-dev
  libopenscenegraph-dev
  libgdcm-dev libgdcm-tools
  libnifti2-dev
  xvfb xauth libgl1-mesa-dri libglu1-mesa-dev
  binutils
  parallel
  "$@"
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
