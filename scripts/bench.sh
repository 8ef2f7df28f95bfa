#!/usr/bin/env bash
# Builds and runs the benchmarks (with the peers the Intel HEX conversion is
# timed against: binutils' objcopy and srecord's srec_cat).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh binutils srecord
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
build/bin/link_bench "$@"
build/bin/responsiveness_bench
build/bin/array_bench
build/bin/hex_bench
