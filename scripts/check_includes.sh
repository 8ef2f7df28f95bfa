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
#     includes shell/ or cli/ from outside;
#   - the logic layers include only their own layer and those below it:
#     platform, state < link < programmers < devices < options < images <
#     operations < automation. What still reaches up is listed, with its
#     reason, in scripts/layer_exceptions.txt, and that list only shrinks.
# Tests, benchmarks and the simulator may include what they exercise.
# With a folder argument, checks that tree instead of this one.
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

# The longest the list of exceptions may be: lower it as entries go.
max_exceptions=1
exceptions_file=scripts/layer_exceptions.txt

declare -A layer=([platform]=0 [state]=0 [link]=1 [programmers]=2 [devices]=3 [options]=4 [images]=5
                  [operations]=6 [automation]=7)

include_re='^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]*)"'
declare -A excepted=() used=()
if [ -f "$exceptions_file" ]; then
  while IFS= read -r entry; do
    entry=${entry%%#*}
    entry=$(sed 's/[[:space:]]*$//' <<<"$entry")
    [ -n "$entry" ] && excepted["$entry"]=1
  done <"$exceptions_file"
fi

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
    [[ $text =~ $include_re ]] || continue
    header=${BASH_REMATCH[1]}
    case "$header" in
      shell/*) [ "$kind" = shell ] || fail "$file" "$line" "$text" "only the main window's own files include shell/" ;;
      cli/*) [ "$kind" = cli ] || fail "$file" "$line" "$text" "only the command line's own files include cli/" ;;
    esac
    is_window_header=false
    case "$header" in ui/* | */ui/*) is_window_header=true ;; esac
    if [ "$kind" = logic ] && ! $is_window_header; then
      from=${layer[$top]:--1}
      to=${layer[${header%%/*}]:--1}
      if [ "$to" -gt "$from" ]; then
        if [ -n "${excepted["$file -> $header"]+x}" ]; then
          used["$file -> $header"]=1
        else
          fail "$file" "$line" "$text" "${header%%/*}/ is a higher layer than $top/: move what is needed down, or list it with its reason in $exceptions_file"
        fi
      fi
    fi
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

for entry in "${!excepted[@]}"; do
  [ -n "${used["$entry"]+x}" ] ||
    fail "$exceptions_file" 0 "$entry" "no such include any more: remove the entry and lower max_exceptions"
done
if [ "${#excepted[@]}" -gt "$max_exceptions" ]; then
  fail "$exceptions_file" 0 "${#excepted[@]} entries" "the list may not grow past $max_exceptions: move the include down instead"
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures include(s) break the layer rules" >&2
  exit 1
fi
echo "Include rules hold."
