#!/usr/bin/env bash
# The delivered fuse definition files are what their generator writes from
# the device databases: nobody edits one by hand and lets the two drift.
#   tests/fuse_files_current.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$source_dir"/data/device.inf "$source_dir"/data/device_V1.inf "$source_dir"/data/device_V2.inf "$work"/
/usr/bin/env python3 "$source_dir"/data/sources/make_fuses.py "$work" >/dev/null
status=0
for file in AVRFuses.inf AVR32Fuses.inf ARMFuses.inf; do
  if ! cmp -s "$work/$file" "$source_dir/data/$file"; then
    echo "data/$file differs from what data/sources/make_fuses.py writes; run it and commit the result" >&2
    status=1
  fi
done
exit $status
