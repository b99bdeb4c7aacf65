#!/usr/bin/env bash
# One whole scheduled run of the real TARNWICK.exe under Wine with the stand-in programs: Auto
# Start and Auto Close ticked, it must run the chain, close by itself and store "!!! SUCCESS !!!".
# With --headless the same run goes without a window: exit status 0, its lines printed and in the
# journal; then the wiring of --max-run (status 1) and of an unknown option (status 2).
#   e2e_scheduled_run.sh BIN_DIR [--headless]  (WINEPREFIX and DISPLAY must name a private prefix and display)
. "$(dirname "$0")/under_wine.sh"
mode=${2:-}
deadline=${TARNWICK_E2E_DEADLINE:-180}

# A folder with a space, so the unquoted command lines must be read as the launcher reads them.
dir="$WINEPREFIX/drive_c/tw e2e $$"
win="C:\\tw e2e $$"
rm -rf "$dir"
mkdir -p "$dir/state"
trap 'rm -rf "$dir"' EXIT
for program in TARNWICK NODE-QT-STANDIN NODE-CLI-STANDIN MF-CORVANT-STANDIN MF-PELLUM-ON MF-PELLUM-OFF; do
  cp "$bin/$program.exe" "$dir/"
done
printf '%s\r\n' "$win\\state" >"$dir/standin-state.txt"

# The settings a user would have saved, written as another program would: through reg.exe. The
# run's settings as everywhere, then what a Windows user may type differently: a program with and
# without ".exe", an image name in other letter case, a shorter catch-up. A later value wins.
. "$(dirname "$0")/../../scripts/lib/run_settings.sh"
. "$(dirname "$0")/../../scripts/lib/children.sh"
reg_text() { printf '%s' "$1" | sed 's/\\/\\\\/g; s/"/\\"/g'; }
{
  printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\TARNWICK\\TARNWICK]\r\n'
  while IFS='=' read -r key value; do
    printf '"%s"="%s"\r\n' "$key" "$(reg_text "$value")"
  done < <(
    run_settings "$win" "$win\\state" '\'
    cat <<SETTINGS
PELLUM_ON_FULL_LOCATION_TEXTBOX=$win\\MF-PELLUM-ON.exe
QT_FULL_RUN_CMD_TEXTBOX=$win\\NODE-QT-STANDIN.exe --state "$win\\state" --shutdown-delay-ms 1500
QT_FILENAME_TEXTBOX=node-qt-standin.exe
CORVANT_FULL_LOCATION_TEXTBOX=$win\\MF-CORVANT-STANDIN --state "$win\\state" --catch-up-ms 3000
CV_FILENAME_TEXTBOX=MF-CORVANT-STANDIN.exe
CLI_FILENAME_TEXTBOX=NODE-CLI-STANDIN.exe
LAST_RUN_TEXTBOX=!!! MANUAL STOP !!!
SETTINGS
  )
} >"$dir/settings.reg"
"$wine" reg import "$(printf '%s' "$win\\settings.reg")" >/dev/null 2>&1

start=$(date +%s)
(cd "$dir" && exec "$wine" TARNWICK.exe $mode) >"$dir/tarnwick.out" 2>&1 &
pid=$!
while child_running "$pid"; do
  if (($(date +%s) - start > deadline)); then
    stop_child "$pid"
    echo "FAIL: TARNWICK.exe still running after ${deadline}s" >&2
    cat "$dir/state/log.txt" >&2 || true
    exit 1
  fi
  sleep 1
done
wait "$pid" || { echo "FAIL: TARNWICK.exe exited with $?" >&2; exit 1; }
echo "TARNWICK.exe closed by itself after $(($(date +%s) - start))s"

result=$("$wine" reg query 'HKCU\Software\TARNWICK\TARNWICK' /v LAST_RUN_TEXTBOX 2>/dev/null | tr -d '\r')
echo "$result" | grep LAST_RUN_TEXTBOX
log=$(cat "$dir/state/log.txt")
status=0
echo "$result" | grep -q 'REG_SZ *!!! SUCCESS !!!$' || { echo "FAIL: LAST_RUN_TEXTBOX is not the success text" >&2; status=1; }
# The chain as the stand-ins saw it, in order.
# (PELLUM-ON and the node start on the same tick, so only PELLUM-ON's presence is checked.)
grep -q -F "MF-PELLUM-ON started" <<<"$log" || { echo "FAIL: MF-PELLUM-ON never started" >&2; status=1; }
expected=("NODE-QT-STANDIN started" "MF-CORVANT-STANDIN caught up" "NODE-CLI-STANDIN stop command sent"
          "NODE-QT-STANDIN stopped by stop command" "MF-PELLUM-OFF done")
previous=0
for event in "${expected[@]}"; do
  line=$(grep -n -m1 -F "$event" <<<"$log" | cut -d: -f1 || true)
  if [[ -z $line || $line -lt $previous ]]; then
    echo "FAIL: \"$event\" missing or out of order" >&2
    status=1
  else
    previous=$line
  fi
done
((status == 0)) || { echo "--- stand-in log:" >&2; echo "$log" >&2; }
if [[ $mode == --headless ]]; then
  out=$(tr -d '\r' <"$dir/tarnwick.out")
  for line in "CORVANT light turns green: CORVANT ended: the node has caught up" "outcome: !!! SUCCESS !!!" "exit status 0"; do
    grep -q -F -x -- "$line" <<<"$out" || { echo "FAIL: \"$line\" not printed" >&2; status=1; }
  done
  local_app_data=$("$wine" cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')
  journal="$(winepath -u "$local_app_data" 2>/dev/null)/TARNWICK/TARNWICK.log"
  grep -q ' exit status 0'$'\r''\?$' "$journal" || { echo "FAIL: no journal of the run in $journal" >&2; status=1; }
  # --max-run stops the run as STOP does, here while Auto Start still counts; an unknown option is refused.
  for row in "1 --max-run 2s" "2 --frobnicate"; do
    read -r want args <<<"$row"
    rc=0
    (cd "$dir" && exec "$wine" TARNWICK.exe --headless $args) >/dev/null 2>&1 || rc=$?
    [[ $rc == "$want" ]] || { echo "FAIL: --headless $args exited with $rc, not $want" >&2; status=1; }
  done
  "$wine" reg query 'HKCU\Software\TARNWICK\TARNWICK' /v LAST_RUN_TEXTBOX 2>/dev/null | grep -q 'MANUAL STOP' ||
    { echo "FAIL: --max-run did not store !!! MANUAL STOP !!!" >&2; status=1; }
fi
exit "$status"
