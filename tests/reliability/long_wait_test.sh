#!/usr/bin/env bash
# The real program waiting on a chain-progress tool that never ends, with every watcher armed, for
# half an hour (TARNWICK_LONG_SECONDS overrides): open descriptors and threads must stay the same
# and resident memory must not creep after a warm-up.
#   long_wait_test.sh BIN_DIR
set -uo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
duration=${TARNWICK_LONG_SECONDS:-1800}
interval=${TARNWICK_LONG_SAMPLE_SECONDS:-5}
warm_up=20
rss_allowance_kb=2048
work=$(mktemp -d /tmp/tarnwick-long-wait.XXXXXX)
# shellcheck source=real_program_lib.sh
source "$here/real_program_lib.sh"
trap rel_cleanup EXIT
rel_start_x wm
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state-home
mkdir -p "$XDG_CONFIG_HOME/TARNWICK" "$work/bin" "$work/state" && chmod 700 "$XDG_CONFIG_HOME/TARNWICK"
cp "$bin/NODE-QT-STANDIN" "$work/bin/NODE-LONG"
cp "$bin/MF-CORVANT-STANDIN" "$work/bin/CV-LONG"
cp "$bin/MF-PELLUM-ON" "$bin/MF-PELLUM-OFF" "$work/bin/"
st=$work/state
# PELLUM-ON never ends either, so its watcher stays armed beside the node's, CORVANT's and the
# always-on-top timer.
bash "$here/../../scripts/seed-run-store.sh" "$XDG_CONFIG_HOME/TARNWICK/LONG-WAIT.conf" "$work/bin" "$st" \
  "PELLUM_ON_FULL_LOCATION_TEXTBOX=$work/bin/MF-PELLUM-ON --forever" \
  "CORVANT_FULL_LOCATION_TEXTBOX=$work/bin/CV-LONG --state $st --catch-up-ms 999999999" \
  "CV_FILENAME_TEXTBOX=CV-LONG" "QT_FULL_RUN_CMD_TEXTBOX=$work/bin/NODE-LONG --state $st" \
  "QT_FILENAME_TEXTBOX=NODE-LONG" "CLI_FULL_RUN_CMD_TEXTBOX=/bin/false" "CLI_FILENAME_TEXTBOX=CLI-LONG"
ln -sf "$bin/TARNWICK" "$work/LONG-WAIT"
TARNWICK_STANDIN_STATE=$st "$work/LONG-WAIT" 2>"$work/stderr" &
app=$!
track "$app"
[ -n "$(rel_wait_window LONG-WAIT 30)" ] || { echo "FAIL: no window" >&2; exit 1; }
cv_started() { grep -q "CV-LONG started" "$st/log.txt" 2>/dev/null; }
wait_for 60 cv_started || { echo "FAIL: CORVANT never started" >&2; cat "$st/log.txt" >&2; exit 1; }
sleep "$warm_up"

sample() {
  # The probe keeps the listed processes' command lines open (one each, closed as they end), so
  # those follow the machine's process count; every other descriptor must stay.
  fds=$(ls -l "/proc/$app/fd" 2>/dev/null | tail -n +2 | grep -vc ' -> /proc/[0-9]*/cmdline$' || true)
  threads=$(sed -n 's/^Threads:[[:space:]]*//p' "/proc/$app/status")
  rss=$(sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\).*/\1/p' "/proc/$app/status")
}
sample
fds0=$fds threads0=$threads rss0=$rss max_rss=$rss
echo "after warm-up: $fds0 descriptors, $threads0 threads, ${rss0} kB resident"
end=$((SECONDS + duration))
failures=0
samples=0
while [ "$SECONDS" -lt "$end" ]; do
  sleep "$interval"
  rel_alive "$app" || { echo "FAIL: the program ended during the wait" >&2; exit 1; }
  sample
  samples=$((samples + 1))
  [ "$rss" -gt "$max_rss" ] && max_rss=$rss
  if [ "$fds" != "$fds0" ] || [ "$threads" != "$threads0" ]; then
    echo "FAIL: at ${SECONDS}s: $fds descriptors (was $fds0), $threads threads (was $threads0)" >&2
    ls -l "/proc/$app/fd" >&2
    failures=$((failures + 1))
    fds0=$fds threads0=$threads
  fi
done
echo "after ${duration}s ($samples samples): $fds descriptors, $threads threads, ${rss} kB resident (peak ${max_rss} kB)"
[ $((max_rss - rss0)) -lt "$rss_allowance_kb" ] || { echo "FAIL: resident memory grew by $((max_rss - rss0)) kB" >&2; failures=$((failures + 1)); }
[ "$(grep -c "CV-LONG started" "$st/log.txt")" = 1 ] || { echo "FAIL: CORVANT was started again" >&2; failures=$((failures + 1)); }
stop_child "$app"
rel_wait_exit "$app" 30
[ "$rel_rc" = 0 ] || { echo "FAIL: exit code $rel_rc after SIGTERM" >&2; failures=$((failures + 1)); }
[ "$failures" = 0 ] || exit 1
echo PASS
