#!/usr/bin/env bash
# Builds and runs the benchmarks.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

# The peers the Intel HEX conversion is timed against.
peers=(binutils srecord)
missing=()
for p in "${peers[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
build/bin/link_bench "$@"
build/bin/responsiveness_bench
build/bin/hex_bench
