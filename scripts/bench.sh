#!/usr/bin/env bash
# Builds and runs the benchmarks.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
build/bin/link_bench "$@"
build/bin/responsiveness_bench
