#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time:
#   scripts/fuzz.sh [SECONDS]   (default 30 each)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
CC=clang CXX=clang++ scripts/build.sh build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRIN_FUZZ=ON
for target in build-fuzz/bin/*_fuzz; do
  name=$(basename "$target")
  corpus=$(mktemp -d)
  cp tests/fuzz/corpus/"$name"/* "$corpus"/ 2>/dev/null || true
  echo "Fuzzing $name for ${seconds}s"
  log="$corpus.log"
  if ! "$target" -max_total_time="$seconds" -max_len=8192 -artifact_prefix="$corpus/" "$corpus" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "$name found a failing input (kept in $corpus)"
    exit 1
  fi
  grep -E '^Done' "$log"
  rm -rf "$corpus" "$log"
done
