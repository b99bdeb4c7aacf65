#!/usr/bin/env bash
# End to end on Linux: the real program under another name drives the real stand-ins through a
# scheduled run from a seeded store in a private XDG_CONFIG_HOME, and closes itself.
#   scheduled_run_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 source=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export XDG_CONFIG_HOME=$tmp/config
unset DISPLAY WAYLAND_DISPLAY
out=$tmp/demo.out
if ! bash "$source/scripts/demo.sh" "$build" >"$out" 2>&1; then
  cat "$out"
  echo "FAIL: the run did not end with !!! SUCCESS !!!" >&2
  exit 1
fi
cat "$out"
log=$(sed -n 's/^  //p' "$out" | awk '{ $1 = ""; print substr($0, 2) }')
# The order of the steps as the stand-ins saw them.
expected=("MF-PELLUM-ON started" "NODE-QT-STANDIN started" "MF-CORVANT-STANDIN started"
          "MF-CORVANT-STANDIN caught up" "NODE-CLI-STANDIN stop command sent"
          "NODE-QT-STANDIN stopped by stop command" "MF-PELLUM-OFF started")
line=0
for want in "${expected[@]}"; do
  found=$(printf '%s\n' "$log" | grep -n -F -x "$want" | head -n1 | cut -d: -f1 || true)
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
