#!/usr/bin/env bash
# Sets up, builds and runs every test: a normal build, then an
# AddressSanitizer + UndefinedBehaviorSanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

export QT_QPA_PLATFORM=offscreen
export XDG_CONFIG_HOME
XDG_CONFIG_HOME=$(mktemp -d)
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT

scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir build --output-on-failure -j "$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
scripts/build.sh build-sanitize -DCMAKE_BUILD_TYPE=Debug -DKESTRIN_SANITIZE=ON -DKESTRIN_BENCH=OFF
scripts/fuzz.sh 30
ctest --test-dir build-sanitize --output-on-failure -j "$(nproc)"
