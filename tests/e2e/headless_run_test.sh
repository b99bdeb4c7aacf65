#!/usr/bin/env bash
# The headless run of the real program against the real stand-ins, with no display at all: a whole
# run told line by line and exit status 0; then the wiring of the other statuses (a signal, a
# refused store, an unknown option). The rules behind each status are the core's tests.
#   headless_run_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
# shellcheck source=../alone.sh
source "$(dirname "$0")/../alone.sh"
build=$1 source=$2
. "$source/scripts/lib/children.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset DISPLAY WAYLAND_DISPLAY
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state-home
state=$work/state
export TARNWICK_STANDIN_STATE=$state
mkdir -p "$state"
ln -s "$build/bin/TARNWICK" "$work/TARNWICK-NIGHT"
store=$XDG_CONFIG_HOME/TARNWICK/TARNWICK-NIGHT.conf
fail() { echo "FAIL: $*" >&2; exit 1; }
seed() {
  bash "$source/scripts/seed-run-store.sh" "$store" "$build/bin" "$state" AUTOSTART_TIME_TICKBOX=0 \
    AUTOCLOSE_TIME_TICKBOX=0 "CORVANT_FULL_LOCATION_TEXTBOX=$build/bin/MF-CORVANT-STANDIN --state \"$state\" --catch-up-ms $1"
}
# Runs the program in the background; its exit status lands in $rc once `finish` has collected it.
start() { "$work/${start_as:-TARNWICK-NIGHT}" "$@" >"$work/out" 2>"$work/err" & app=$!; }
finish() {
  for _ in $(seq 900); do child_running "$app" || break; sleep 0.1; done
  child_running "$app" && { stop_child "$app" KILL; fail "the program did not end"; }
  rc=0
  wait "$app" || rc=$?
}

# A whole run: status 0, SUCCESS stored, the stored ticks untouched, the lines in the run's order.
# Its journal lies on a full file system (where this test has a mount namespace of its own): that
# is said once and changes nothing else.
full=
if [ "${TARNWICK_ALONE:-}" = 1 ] && mkdir "$work/full" && mount -t tmpfs -o size=16k tmpfs "$work/full" 2>/dev/null; then
  full=$work/full
  mkdir -m 700 "$full/state"
  head -c 1M /dev/zero >"$full/fill" 2>/dev/null || true
fi
seed 2000
XDG_STATE_HOME=${full:+$full/state}${full:-$XDG_STATE_HOME} start --headless
finish
[ -z "$full" ] || umount "$full"
[ "$rc" = 0 ] || { cat "$work/out" "$work/err"; fail "a whole run exited with $rc"; }
if [ -n "$full" ]; then
  [ "$(grep -c 'journal .* is not written' "$work/err")" = 1 ] || { cat "$work/err"; fail "a full disk was not said once"; }
fi
grep -qx 'LAST_RUN_TEXTBOX=!!! SUCCESS !!!' "$store" || fail "no SUCCESS stored"
grep -qx 'AUTOSTART_TIME_TICKBOX=0' "$store" || fail "the stored Auto Start tick changed"
order=("run begins, ticked: PELLUM-ON, QT, PELLUM-OFF" "QT started: $build/bin/NODE-QT-STANDIN (pid "
       "CORVANT light turns green: CORVANT ended: the node has caught up" "CLI started: $build/bin/NODE-CLI-STANDIN (pid "
       "QT light turns green: node gone" "PELLUM-OFF started: $build/bin/MF-PELLUM-OFF (pid " "outcome: !!! SUCCESS !!!"
       "exit status 0")
at=0
for want in "${order[@]}"; do
  n=$(grep -n -F -- "$want" "$work/out" | head -n1 | cut -d: -f1)
  [ -n "$n" ] && [ "$n" -gt "$at" ] || { cat "$work/out"; fail "'$want' missing or out of order"; }
  at=$n
done
grep -q -- '--state' "$work/out" && fail "a command line's arguments were printed"
# The section's lock went with the program (the kernel may take a moment to close its last copy):
# none of the programs the run started holds it, or the next night's run would find it taken.
lock=$XDG_CONFIG_HOME/TARNWICK/TARNWICK-NIGHT.lock
flock -w 5 "$lock" true || fail "the section's lock outlived the program"
echo "ok: a whole run without a display"

# A signal mid-run: status 1, the node left running; a section of its own, so nothing of the run
# above can stand in its way.
ln -s "$build/bin/TARNWICK" "$work/TARNWICK-SIGNAL"
store=$XDG_CONFIG_HOME/TARNWICK/TARNWICK-SIGNAL.conf
: >"$state/log.txt"
seed 60000
start_as=TARNWICK-SIGNAL start --headless
for _ in $(seq 300); do grep -q '^CORVANT light turns cyan' "$work/out" && break; sleep 0.1; done
# Meanwhile a second copy of the section (cron firing again) ends at once with status 2.
second=0
"$work/TARNWICK-SIGNAL" --headless >"$work/second.out" 2>"$work/second.err" || second=$?
[ "$second" = 2 ] || { cat "$work/out" "$work/err" "$work/second.err"; fail "a second copy exited with $second"; }
[ ! -s "$work/second.out" ] || fail "a second copy began a run"
stop_child "$app"
finish
[ "$rc" = 1 ] || fail "SIGTERM mid-run exited with $rc"
node=$(sed -n 's/^QT started: .* (pid \([0-9]*\))$/\1/p' "$work/out")
[ -n "$node" ] && [ -e "/proc/$node" ] || fail "the node did not keep running"
kill -TERM "$node"
journal=$XDG_STATE_HOME/TARNWICK/TARNWICK-SIGNAL.log
grep -q '^[0-9-]* [0-9:.]* [-+][0-9]* CORVANT light turns cyan: CORVANT running$' "$journal" || fail "no journal of the run"
tail -n 2 "$journal" | grep -q ' exit status 1$' || fail "the journal has no exit status"
echo "ok: SIGTERM mid-run"

# A store others may write to is refused: status 2, nothing launched, nothing written.
store=$XDG_CONFIG_HOME/TARNWICK/TARNWICK-NIGHT.conf
: >"$state/log.txt"
chmod g+w "$XDG_CONFIG_HOME/TARNWICK"
cp "$store" "$work/before"
start --headless
finish
[ "$rc" = 2 ] || fail "a refused store exited with $rc"
[ ! -s "$state/log.txt" ] || fail "a program started on a refused store"
cmp -s "$store" "$work/before" || fail "a refused store was written"
chmod g-w "$XDG_CONFIG_HOME/TARNWICK"

start --headless --frobnicate
finish
[ "$rc" = 2 ] || fail "an unknown option exited with $rc"
echo "PASS"
