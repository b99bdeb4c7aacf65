#!/usr/bin/env bash
# The demo run: TARNWICK started as TARNWICK-DEMO (its own store section, so a user's settings
# are never touched) drives the stand-ins through a whole run in under a minute and closes itself.
# Without a display it runs on a private Xvfb and saves a screenshot of each step.
#   demo.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$here/build}/bin
[ -x "$bin/TARNWICK" ] || { echo "demo: $bin/TARNWICK is not built" >&2; exit 1; }

work=$(mktemp -d /tmp/tarnwick-demo.XXXXXX)
state=$work/state
shots=$work/screenshots
mkdir -p "$state" "$shots"
export TARNWICK_STANDIN_STATE=$state
ln -sf "$bin/TARNWICK" "$work/TARNWICK-DEMO"

config=${XDG_CONFIG_HOME:-$HOME/.config}
case "$config" in /*) ;; *) config=$HOME/.config ;; esac
mkdir -p "$config/TARNWICK" && chmod 700 "$config/TARNWICK"
store=$config/TARNWICK/TARNWICK-DEMO.conf
umask 077
cat >"$store" <<CONF
AUTOSTART_TIME_TICKBOX=1
AUTOCLOSE_TIME_TICKBOX=1
AlwaysOnTopTimer_TICKBOX=1
AUTORUN_QT_TICKBOX=1
AUTORUN_DAEMON_TICKBOX=0
PELLUM_ON_TICKBOX=1
PELLUM_OFF_TICKBOX=1
PELLUM_ON_LOCATION_TEXTBOX=$bin
PELLUM_OFF_LOCATION_TEXTBOX=$bin
CORVANT_LOCATION_TEXTBOX=$bin
CV_FILENAME_TEXTBOX=MF-CORVANT-STANDIN
PELLUM_ON_FULL_LOCATION_TEXTBOX=$bin/MF-PELLUM-ON
PELLUM_OFF_FULL_LOCATION_TEXTBOX=$bin/MF-PELLUM-OFF
CORVANT_FULL_LOCATION_TEXTBOX=$bin/MF-CORVANT-STANDIN --state $state --catch-up-ms 10000
QT_RUN_CMD_TEXTBOX=$bin/NODE-QT-STANDIN --state $state --shutdown-delay-ms 1500
QT_FULL_RUN_CMD_TEXTBOX=$bin/NODE-QT-STANDIN --state $state --shutdown-delay-ms 1500
QT_FILENAME_TEXTBOX=NODE-QT-STANDIN
DAEMOND_RUN_CMD_TEXTBOX=$bin/NODE-DAEMON-STANDIN --state $state --shutdown-delay-ms 1500
DAEMOND_FULL_RUN_CMD_TEXTBOX=$bin/NODE-DAEMON-STANDIN --state $state --shutdown-delay-ms 1500
DAEMOND_FILENAME_TEXTBOX=NODE-DAEMON-STANDIN
CLI_RUN_CMD_TEXTBOX=$bin/NODE-CLI-STANDIN --state $state stop
CLI_FULL_RUN_CMD_TEXTBOX=$bin/NODE-CLI-STANDIN --state $state stop
CLI_FILENAME_TEXTBOX=NODE-CLI-STANDIN
LAST_RUN_TEXTBOX=!!! LAST RUN !!!
CONF

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT
headless=0
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  headless=1
  num=$(mktemp)
  Xvfb -displayfd 1 -screen 0 1280x800x24 -nolisten tcp -noreset >"$num" 2>/dev/null &
  pids+=($!)
  for _ in $(seq 50); do [ -s "$num" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -n1 "$num")"
  rm -f "$num"
  openbox --sm-disable >/dev/null 2>&1 &
  pids+=($!)
  sleep 0.5
fi

echo "demo: a whole run of the stand-ins, about 45 seconds; the window closes itself at the end"
"$work/TARNWICK-DEMO" &
app=$!
step=0
for _ in $(seq 120); do
  kill -0 "$app" 2>/dev/null || break
  if [ "$headless" = 1 ]; then
    step=$((step + 1))
    import -window root "$(printf '%s/step-%03d.png' "$shots" "$step")" 2>/dev/null || true
  fi
  sleep 1
done
if kill -0 "$app" 2>/dev/null; then
  echo "demo: the program did not close itself within two minutes" >&2
  kill "$app"
  exit 1
fi
wait "$app" || true

echo "demo: what the stand-ins did:"
sed 's/^/  /' "$state/log.txt"
outcome=$(sed -n 's/^LAST_RUN_TEXTBOX=//p' "$store")
echo "demo: the stored outcome is \"$outcome\""
[ "$headless" = 1 ] && echo "demo: screenshots of each second are in $shots"
[ "$outcome" = "!!! SUCCESS !!!" ]
