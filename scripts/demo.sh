#!/usr/bin/env bash
# The demo run: TARNWICK started as TARNWICK-DEMO (its own store section, so a user's settings
# are never touched) drives the stand-ins through a whole run in under a minute and closes itself.
# Without a display it runs on a private Xvfb and saves a screenshot of each step.
# With --no-screenshots (the end-to-end test) it takes none and leaves nothing behind.
#   demo.sh [--no-screenshots] [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/lib/children.sh"
keep=1
if [ "${1:-}" = --no-screenshots ]; then
  keep=0
  shift
fi
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
store=$config/TARNWICK/TARNWICK-DEMO.conf
bash "$here/scripts/seed-run-store.sh" "$store" "$bin" "$state"

pids=()
cleanup() {
  for p in "${pids[@]}"; do stop_child "$p"; done
  [ "$keep" = 1 ] || rm -rf "$work"
}
trap cleanup EXIT
headless=0
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  headless=1
  . "$here/scripts/lib/private_display.sh"
  private_display_start 1280x800x24 wm || exit 1
  pids+=($private_xvfb_pid $private_wm_pid)
fi

# Under LeakSanitizer, allocations the session-bus library keeps for the whole process are not ours.
export LSAN_OPTIONS="suppressions=$here/tests/qt/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
echo "demo: a whole run of the stand-ins, about 35 seconds; the window closes itself at the end"
"$work/TARNWICK-DEMO" &
app=$!
step=0
for _ in $(seq 120); do
  child_running "$app" || break
  if [ "$headless" = 1 ] && [ "$keep" = 1 ]; then
    step=$((step + 1))
    import -window root "$(printf '%s/step-%03d.png' "$shots" "$step")" 2>/dev/null || true
  fi
  sleep 1
done
if child_running "$app"; then
  echo "demo: the program did not close itself within two minutes" >&2
  stop_child "$app"
  exit 1
fi
status=0
wait "$app" || status=$?

echo "demo: what the stand-ins did:"
sed 's/^/  /' "$state/log.txt"
outcome=$(sed -n 's/^LAST_RUN_TEXTBOX=//p' "$store")
echo "demo: the stored outcome is \"$outcome\""
[ "$headless" = 1 ] && [ "$keep" = 1 ] && echo "demo: screenshots of each second are in $shots"
if [ "$status" -ne 0 ]; then
  echo "demo: the program exited with status $status" >&2
  exit 1
fi
[ "$outcome" = "!!! SUCCESS !!!" ]
