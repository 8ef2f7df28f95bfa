#!/usr/bin/env bash
# Installs what building and testing Kestrin needs on Debian, when missing:
#   scripts/setup.sh [EXTRA-PACKAGE...]
set -euo pipefail

# Extra packages may be named on the command line (the benchmarks' peers).
packages=("$@" cmake ninja-build g++ clang libclang-rt-14-dev pkg-config qt6-base-dev qt6-serialport-dev qt6-multimedia-dev fonts-dejavu-core python3 libgtest-dev libgmock-dev binutils srecord libelf-dev dpkg-dev help2man desktop-file-utils)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
