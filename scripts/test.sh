#!/usr/bin/env bash
# Sets up, builds and runs every test: a normal build, then an
# AddressSanitizer + UndefinedBehaviorSanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/check_includes.sh

export QT_QPA_PLATFORM=offscreen
# Settings and the run log of the tests stay out of the user's own.
export XDG_CONFIG_HOME XDG_DATA_HOME
XDG_CONFIG_HOME=$(mktemp -d)
XDG_DATA_HOME=$(mktemp -d)
trap 'rm -rf "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"' EXIT

scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir build --output-on-failure -j "$(nproc)"

# The logic tests again, whole programs in shuffled orders: no test may lean on
# what another left behind (ctest runs one test per process and cannot tell).
logic_tests=$(sed -n 's/^kestrin_logic_tests(\(.*\))$/\1/p' tests/CMakeLists.txt)
[ -n "$logic_tests" ] || { echo "no logic test programs in tests/CMakeLists.txt" >&2; exit 1; }
for name in $logic_tests; do
  for seed in 1 2 3; do
    out=$(build/bin/"${name}_tests" --gtest_shuffle --gtest_random_seed="$seed" --gtest_brief=1 2>&1) ||
      { printf '%s\n' "$out"; echo "${name}_tests failed in shuffled order, seed $seed" >&2; exit 1; }
  done
done
echo "Logic tests pass in shuffled orders (seeds 1 2 3)."

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
scripts/build.sh build-sanitize -DCMAKE_BUILD_TYPE=Debug -DKESTRIN_SANITIZE=ON -DKESTRIN_BENCH=OFF
scripts/fuzz.sh 30
ctest --test-dir build-sanitize --output-on-failure -j "$(nproc)"
