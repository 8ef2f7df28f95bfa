#!/usr/bin/env bash
# The delivered fuse definition files are what their generator writes from
# the device databases and the maker's device files kept in tests/data/atdf:
# nobody edits one by hand and lets the two drift. Two runs write the same.
# With KESTRIN_ATDF_SOURCE naming the maker's full device files, the kept
# trimmed copies must also be what the generator's --trim makes of them.
#   tests/fuse_files_current.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for run in first second; do
  mkdir "$work/$run"
  cp "$source_dir"/data/device.inf "$source_dir"/data/device_V1.inf "$source_dir"/data/device_V2.inf "$work/$run"/
  /usr/bin/env python3 "$source_dir"/data/sources/make_fuses.py "$work/$run" >/dev/null
done
for file in AVRFuses.inf AVR32Fuses.inf ARMFuses.inf; do
  if ! cmp -s "$work/first/$file" "$source_dir/data/$file"; then
    echo "data/$file differs from what data/sources/make_fuses.py writes; run it and commit the result" >&2
    status=1
  fi
  if ! cmp -s "$work/first/$file" "$work/second/$file"; then
    echo "two runs of data/sources/make_fuses.py write different $file" >&2
    status=1
  fi
done
if [ -n "${KESTRIN_ATDF_SOURCE:-}" ]; then
  /usr/bin/env python3 "$source_dir"/data/sources/make_fuses.py --trim "$KESTRIN_ATDF_SOURCE" "$work/atdf" >/dev/null
  if ! diff -r -q "$work/atdf" "$source_dir/tests/data/atdf" --exclude=README.md >&2; then
    echo "tests/data/atdf differs from what make_fuses.py --trim makes of $KESTRIN_ATDF_SOURCE" >&2
    status=1
  fi
fi
exit $status
