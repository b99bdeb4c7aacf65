#!/usr/bin/env bash
# End to end on Linux: the real program under another name drives the real stand-ins through a
# scheduled run from a seeded store in a private XDG_CONFIG_HOME, and closes itself.
#   scheduled_run_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
# shellcheck source=../alone.sh
source "$(dirname "$0")/../alone.sh"
build=$1 source=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export XDG_CONFIG_HOME=$tmp/config XDG_STATE_HOME=$tmp/state-home
unset DISPLAY WAYLAND_DISPLAY
out=$tmp/demo.out
if ! bash "$source/scripts/demo.sh" --no-screenshots "$build" >"$out" 2>&1; then
  cat "$out"
  echo "FAIL: the run did not end with !!! SUCCESS !!!" >&2
  exit 1
fi
cat "$out"
log=$(sed -n 's/^  //p' "$out" | awk '{ $1 = ""; print substr($0, 2) }')
first_line() { printf '%s\n' "$log" | grep -n -F -x "$1" | head -n1 | cut -d: -f1 || true; }
# PELLUM-ON and the node are launched in the same tick, so their own log lines may come in either
# order; both must come before CORVANT, which the node's watcher starts only once the node runs.
corvant=$(first_line "MF-CORVANT-STANDIN started")
[ -n "$corvant" ] || { echo "FAIL: CORVANT never started" >&2; exit 1; }
for want in "MF-PELLUM-ON started" "NODE-QT-STANDIN started"; do
  found=$(first_line "$want")
  if [ -z "$found" ] || [ "$found" -ge "$corvant" ]; then
    echo "FAIL: '$want' missing or not before CORVANT in the stand-ins' log" >&2
    exit 1
  fi
done
# From CORVANT on, each step waits for the one before it.
expected=("MF-CORVANT-STANDIN started" "MF-CORVANT-STANDIN caught up" "NODE-CLI-STANDIN stop command sent"
          "NODE-QT-STANDIN stopped by stop command" "MF-PELLUM-OFF started")
line=0
for want in "${expected[@]}"; do
  found=$(first_line "$want")
  if [ -z "$found" ] || [ "$found" -le "$line" ]; then
    echo "FAIL: '$want' missing or out of order in the stand-ins' log" >&2
    exit 1
  fi
  line=$found
done
[ "$(printf '%s\n' "$log" | grep -c -F -x 'MF-CORVANT-STANDIN started')" = 1 ] || { echo "FAIL: CORVANT started more than once" >&2; exit 1; }
grep -q '^LAST_RUN_TEXTBOX=!!! SUCCESS !!!$' "$XDG_CONFIG_HOME/TARNWICK/TARNWICK-DEMO.conf"
[ ! -e "$XDG_CONFIG_HOME/TARNWICK/TARNWICK.conf" ] || { echo "FAIL: the TARNWICK section was touched" >&2; exit 1; }
echo "PASS"
