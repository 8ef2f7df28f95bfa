#!/usr/bin/env bash
# The include check holds on the tree as it is, and fails on an include that
# reaches up a layer, on an exception that no longer matches an include and on
# a list of exceptions grown past its ceiling.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tree=$work/tree

fresh_copy() {
  rm -rf "$tree"
  mkdir "$tree"
  (cd "$root" && git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$tree" 2>/dev/null || true)
  (cd "$tree" && git init -q && git add -A)
}
check() { bash "$tree/scripts/check_includes.sh" "$tree" 2>&1; }
plant() {   # FILE LINE: the line added to the file, which git is told of
  echo "$2" >>"$tree/$1"
  (cd "$tree" && git add -A)
}
expect_failure() {   # WHAT PATTERN
  local out
  if out=$(check); then
    echo "FAIL: $1: the check passed"
    exit 1
  fi
  if ! grep -q -- "$2" <<<"$out"; then
    echo "FAIL: $1: no \"$2\" in:"
    echo "$out"
    exit 1
  fi
  echo "ok: $1"
}

fresh_copy
check >/dev/null || { echo "FAIL: the tree as it is"; check; exit 1; }
echo "ok: the tree as it is"

fresh_copy
plant link/Frame.cpp '#include "operations/RunLog.h"'
expect_failure "link reaching up to operations" 'link/Frame.cpp:.*operations/ is a higher layer than link/'

fresh_copy
# The first listed exception, its include taken out.
entry=$(sed 's/[[:space:]]*#.*//' "$tree/scripts/layer_exceptions.txt" | grep -m1 -- ' -> ')
stale_file=${entry%% -> *}
stale_header=${entry##* -> }
sed -i "\|#include \"$stale_header\"|d" "$tree/$stale_file"
(cd "$tree" && git add -A)
expect_failure "a stale exception" "$stale_file -> $stale_header.*no such include any more"

fresh_copy
plant link/Frame.cpp '#include "operations/RunLog.h"'
plant scripts/layer_exceptions.txt 'link/Frame.cpp -> operations/RunLog.h  # planted'
expect_failure "a grown list" 'may not grow past'

fresh_copy
plant operations/RunLog.cpp '  #  include "ui/VerdictTile.h"   // spaced as the preprocessor allows'
expect_failure "logic including a window" 'operations/RunLog.cpp:.*includes no window'
