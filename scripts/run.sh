#!/usr/bin/env bash
# Sets up, builds and runs Kestrin. Without a line given it starts the
# simulated demo line of VRX programmers on COM1 and opens the windowed
# program on it (use View > Scan for Programmers). Without a display, or with
# --cli, it scans the line from the command line instead.
#   scripts/run.sh                       the simulated demo line
#   scripts/run.sh --port-map 1=/dev/ttyUSB0   a real line as COM1
#   scripts/run.sh --cli [--device PATH | --port N]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
bin=build/bin

cli=false
if [ "${1:-}" = "--cli" ]; then
  cli=true
  shift
fi
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != "offscreen" ]; then
  cli=true
fi

if [ $# -gt 0 ]; then
  if $cli; then exec "$bin/kestrin-cli" scan --verbose "$@"; fi
  exec "$bin/kestrin" "$@"
fi

line_dir=$(mktemp -d)
"$bin/vrx-sim" --demo --link "$line_dir/line" >"$line_dir/sim.out" &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null; wait $sim_pid 2>/dev/null; rm -rf "$line_dir"' EXIT
for _ in $(seq 100); do
  grep -q "ready" "$line_dir/sim.out" 2>/dev/null && break
  sleep 0.1
done
echo "Simulated VRX line at $line_dir/line (COM1)"

if ! $cli; then
  "$bin/kestrin" --port-map "1=$line_dir/line"
  exit 0
fi
"$bin/kestrin-cli" scan --verbose --device "$line_dir/line" | tee "$line_dir/found"
for address in $(cut -f1 "$line_dir/found" | sort -nu); do
  echo
  echo "Images stored in the programmer at address $address:"
  "$bin/kestrin-cli" images --device "$line_dir/line" --address "$address" | column -t -s $'\t'
done
