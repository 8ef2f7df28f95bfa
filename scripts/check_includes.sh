#!/usr/bin/env bash
# Checks the include rules between the program's layers and prints every
# include that breaks one:
#   - logic (link/ programmers/ devices/ images/ operations/ options/ automation/
#     state/ platform/, outside their ui/ parts) includes no window (ui/,
#     */ui/), nothing of shell/ and nothing of cli/;
#   - a window (ui/, */ui/) includes no other child window (a *Window.h or
#     *Dialog.h other than its own, or any header of another subsystem's
#     ui/ part) and nothing of shell/ or cli/: it asks the main frame;
#   - the command line includes no window and nothing of shell/; nothing
#     includes shell/ or cli/ from outside.
# Tests, benchmarks and the simulator may include what they exercise.
set -euo pipefail
cd "$(dirname "$0")/.."

failures=0
fail() {
  echo "$1:$2: $3 -- $4" >&2
  failures=$((failures + 1))
}

while IFS= read -r file; do
  dir=${file%/*}
  [ "$dir" = "$file" ] && dir=.
  top=${file%%/*}
  case "$file" in
    ui/*) kind=window; part=ui ;;
    */ui/*) kind=window; part=${file%%/ui/*}/ui ;;
    shell/*) kind=shell ;;
    cli/*) kind=cli ;;
    link/* | programmers/* | devices/* | images/* | operations/* | options/* | automation/* | state/* | platform/*) kind=logic ;;
    *) continue ;;
  esac
  own=${file##*/}
  own=${own%.*}
  while IFS=: read -r line text; do
    header=$(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' <<<"$text")
    [ -n "$header" ] || continue
    case "$header" in
      shell/*) [ "$kind" = shell ] || fail "$file" "$line" "$text" "only the main window's own files include shell/" ;;
      cli/*) [ "$kind" = cli ] || fail "$file" "$line" "$text" "only the command line's own files include cli/" ;;
    esac
    is_window_header=false
    case "$header" in ui/* | */ui/*) is_window_header=true ;; esac
    case "$kind" in
      logic | cli)
        $is_window_header && fail "$file" "$line" "$text" "$kind code includes no window: use the views in state/views/"
        ;;
      window)
        case "$header" in
          ui/*) ;;   # what windows share
          "$part"/*)
            name=${header##*/}
            name=${name%.h}
            case "$name" in
              *Window | *Dialog)
                [ "$name" = "$own" ] ||
                  fail "$file" "$line" "$text" "a window includes no other child window: ask the MainFrame"
                ;;
            esac
            ;;
          */ui/*) fail "$file" "$line" "$text" "a window includes no other subsystem's windows: ask the MainFrame" ;;
        esac
        ;;
    esac
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include' "$file" || true)
done < <(git ls-files --cached --others --exclude-standard '*.h' '*.cpp' '*.hpp' '*.cc')

if [ "$failures" -gt 0 ]; then
  echo "$failures include(s) break the layer rules" >&2
  exit 1
fi
echo "Include rules hold."
