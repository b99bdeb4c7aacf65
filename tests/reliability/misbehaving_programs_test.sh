#!/usr/bin/env bash
# Outside programs that misbehave, with the real program and real stand-ins under Xvfb + openbox:
# a node killed mid-run, a chain-progress tool that crashes at once, a stop command that fails, a
# helper tool that never ends, and a parent that hands the program ignored signals or a standard
# error nobody reads. Each case runs at once beside the others, under its own name and store
# section, with its own copies of the stand-ins so every process is found and ended by id.
#   misbehaving_programs_test.sh BIN_DIR
set -uo pipefail
# shellcheck source=../alone.sh
source "$(dirname "$0")/../alone.sh"
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/tarnwick-misbehaving.XXXXXX)
# shellcheck source=real_program_lib.sh
source "$here/real_program_lib.sh"
trap rel_cleanup EXIT
rel_start_x wm
export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state-home
mkdir -p "$XDG_CONFIG_HOME/TARNWICK" && chmod 700 "$XDG_CONFIG_HOME/TARNWICK"

declare -A app_pid wid row
cases=(KILLED CRASH FAIL FOREVER NOCHLD NOHUP PIPE)

store_of() { echo "$XDG_CONFIG_HOME/TARNWICK/MB-$1.conf"; }
state_of() { echo "$work/$1/state"; }
log_of() { echo "$work/$1/state/log.txt"; }
log_count() { grep -c -F -x -- "$2" <(cut -d' ' -f2- "$(log_of "$1")" 2>/dev/null) || true; }
log_has() { [ "$(log_count "$1" "$2")" -gt 0 ]; }

# One case: private copies of the stand-ins named after it, a seeded store holding an earlier run's
# outcome ($7), the program started through a link named MB-<case>. Windows are stacked apart so a
# click lands on the right one. The program is started with the signals named in $8 ignored, and
# with $9 = broken its standard error is a pipe whose reader has gone (and its store holds a line
# it reports as unreadable).
start_case() {
  local c=$1 cb=$work/$1/bin st
  local node_args=$2 corvant_args=$3 cli_args=$4 pellum=$5 pellum_off_args=$6 outcome=$7 ignored=${8:-} stderr=${9:-}
  st=$(state_of "$c")
  mkdir -p "$cb" "$st"
  cp "$bin/NODE-QT-STANDIN" "$cb/NODE-$c"
  cp "$bin/MF-CORVANT-STANDIN" "$cb/CV-$c"
  cp "$bin/NODE-CLI-STANDIN" "$cb/CLI-$c"
  cp "$bin/MF-PELLUM-ON" "$bin/MF-PELLUM-OFF" "$cb/"
  ln -sf "$bin/TARNWICK" "$work/$c/MB-$c"
  bash "$here/../../scripts/seed-run-store.sh" "$(store_of "$c")" "$cb" "$st" \
    "MAIN-Left=1000" "MAIN-Top=$((1000 + ${row[$c]} * 3000))" "PELLUM_ON_TICKBOX=$pellum" \
    "PELLUM_OFF_TICKBOX=$pellum" "PELLUM_OFF_FULL_LOCATION_TEXTBOX=$cb/MF-PELLUM-OFF $pellum_off_args" \
    "CORVANT_FULL_LOCATION_TEXTBOX=$cb/CV-$c --state $st $corvant_args" "CV_FILENAME_TEXTBOX=CV-$c" \
    "QT_FULL_RUN_CMD_TEXTBOX=$cb/NODE-$c --state $st $node_args" "QT_FILENAME_TEXTBOX=NODE-$c" \
    "CLI_FULL_RUN_CMD_TEXTBOX=$cb/CLI-$c --state $st $cli_args" "CLI_FILENAME_TEXTBOX=CLI-$c" \
    "LAST_RUN_TEXTBOX=$outcome" ${stderr:+"a line that is no setting"}
  [ -z "$stderr" ] || mkfifo "$work/$c/stderr.fifo"
  (
    [ -z "$ignored" ] || trap '' "$ignored"
    # Opened for reading and writing first, so opening it to write does not wait for a reader.
    [ -z "$stderr" ] || exec 3<>"$work/$c/stderr.fifo" 2>"$work/$c/stderr.fifo" 3<&-
    export TARNWICK_STANDIN_STATE=$st
    exec "$work/$c/MB-$c"
  ) 2>"$work/$c/stderr" &
  app_pid[$c]=$!
  track "${app_pid[$c]}"
}

# Ticks "Always On Top" (5160,1200 twips in the client area, 57x25 pixels) with a real click.
click_always_on_top() { xdotool mousemove --window "${wid[$1]}" 350 92 click 1; }

# The colour of one client pixel of the case's window, as ImageMagick names it.
pixel() { import -window "${wid[$1]}" png:- 2>/dev/null | convert - -format "%[pixel:p{$2,$3}]" info: 2>/dev/null; }

# The run never recorded success, nor left the earlier run's success standing, the click reached
# the program, and closing it by SIGTERM (the close box's way), or by the signal $2 names, ends it
# with exit code 0.
close_and_check() {
  local c=$1 signal=${2:-TERM} outcome
  stop_child "${app_pid[$c]}" "$signal"
  rel_wait_exit "${app_pid[$c]}" 30
  [ "$rel_rc" = 0 ] || fail "$c: exit code $rel_rc after SIG$signal"
  outcome=$(rel_stored "$(store_of "$c")" LAST_RUN_TEXTBOX)
  [ "$outcome" != '!!! SUCCESS !!!' ] || fail "$c: the run recorded success"
  [ "$(rel_stored "$(store_of "$c")" AlwaysOnTopTimer_TICKBOX)" = 0 ] || fail "$c: the click during the fault was lost"
}

# Closes itself with exit code 0 after a run that recorded success, CORVANT started once.
expect_success() {
  rel_wait_exit "${app_pid[$1]}" 90
  [ "$rel_rc" = 0 ] || fail "$1: the program did not close itself with exit code 0 (got $rel_rc)"
  [ "$(rel_stored "$(store_of "$1")" LAST_RUN_TEXTBOX)" = '!!! SUCCESS !!!' ] || fail "$1: the run did not record success"
  [ "$(log_count "$1" "CV-$1 started")" = 1 ] || fail "$1: CORVANT was started $(log_count "$1" "CV-$1 started") times"
}

row=([KILLED]=0 [CRASH]=1 [FAIL]=2 [FOREVER]=3 [NOCHLD]=4 [NOHUP]=5 [PIPE]=6)
success='!!! SUCCESS !!!' stopped='!!! MANUAL STOP !!!'
start_case KILLED "" "--catch-up-ms 8000" "stop" 0 "" "$success"
start_case CRASH "" "--crash" "stop" 0 "" "$success"
start_case FAIL "" "--catch-up-ms 5000" "stop --fail" 0 "" "$success"
start_case FOREVER "--shutdown-delay-ms 300" "--catch-up-ms 5000" "stop" 1 "--forever" "$stopped"
start_case NOCHLD "" "--catch-up-ms 0" "stop" 0 "" "$stopped" CHLD
start_case NOHUP "" "--catch-up-ms 8000" "stop" 0 "" "$stopped" HUP
start_case PIPE "" "--catch-up-ms 2000" "stop" 0 "" "$stopped" "" broken
for c in "${cases[@]}"; do
  wid[$c]=$(rel_wait_window "MB-$c" 30)
  [ -n "${wid[$c]}" ] || { fail "$c: no window appeared"; cat "$work/$c/stderr" >&2; exit 1; }
done

# A node killed while CORVANT waits: even when CORVANT then ends, no stop command is sent and the
# run waits.
c=KILLED
killed=0
if wait_for 60 log_has $c "CV-$c started"; then
  node=$(rel_pid_of_exe "$work/$c/bin/NODE-$c")
  [ -n "$node" ] || fail "$c: the node is not running"
  for p in $node; do kill -KILL "$p"; done
  click_always_on_top $c
  killed=1
else
  fail "$c: CORVANT never started"
fi

# Started with SIGHUP ignored (nohup): a hang-up while CORVANT runs changes nothing (checked below).
# The programs it starts get every signal at its default all the same.
c=NOHUP
if wait_for 60 log_has $c "CV-$c started"; then
  node=$(rel_pid_of_exe "$work/$c/bin/NODE-$c")
  [ -n "$node" ] || fail "$c: the node is not running"
  for p in $node; do
    grep -q -x $'SigIgn:\t0000000000000000' "/proc/$p/status" || fail "$c: the node was started with signals ignored"
  done
  stop_child "${app_pid[$c]}" HUP
  log_has $c "CV-$c caught up" && fail "$c: the hang-up came after CORVANT had ended"
else
  fail "$c: CORVANT never started"
fi

# The click for the never-ending helper lands while it runs, before Auto Close ends the program.
if wait_for 60 log_has FOREVER "MF-PELLUM-OFF started" && rel_alive "${app_pid[FOREVER]}"; then
  click_always_on_top FOREVER
else
  fail "FOREVER: PELLUM-OFF did not start while the program was open"
fi

c=KILLED
if [ "$killed" = 1 ]; then
  wait_for 20 log_has $c "CV-$c caught up" || fail "$c: CORVANT did not end"
  sleep 5
  log_has $c "CLI-$c started" && fail "$c: the stop command was sent for a node that had gone"
  rel_alive "${app_pid[$c]}" || fail "$c: the program ended"
  close_and_check $c
  rel_pass "$c: the run waits after its node was killed"
fi

# CORVANT ending at once: started again about once a second, its light stays white.
c=CRASH
if wait_for 60 test -s "$(log_of $c)" && wait_for 60 log_has $c "CV-$c crashed"; then
  click_always_on_top $c
  before=$(log_count $c "CV-$c started")
  sleep 5
  after=$(log_count $c "CV-$c started")
  grown=$((after - before))
  { [ "$grown" -ge 3 ] && [ "$grown" -le 8 ]; } || fail "$c: CORVANT started $grown times in 5 s, expected about 5"
  # The QT light (3240,480 twips) shows that the pixel reading works; CORVANT's (3960,480) is white.
  qt=$(pixel $c 218 34)
  cv=$(pixel $c 266 34)
  [ "$qt" = "cyan" ] || [ "$qt" = "srgb(0,255,255)" ] || fail "$c: the QT light reads '$qt', expected cyan"
  [ "$cv" = "white" ] || [ "$cv" = "srgb(255,255,255)" ] || fail "$c: the CORVANT light reads '$cv', expected white"
  told=$(grep -c "CORVANT (.*CV-$c) ended with exit status 3" "$work/$c/stderr")
  [ "$told" = 1 ] || fail "$c: the failing CORVANT was told of $told times, expected once"
  close_and_check $c
  rel_pass "$c: CORVANT restarted $grown times in 5 s, light '$cv'"
else
  fail "$c: CORVANT never ran"
fi

# A stop command that fails: the node keeps running and the run does not complete. Closed by the
# terminal's hang-up, the program still stores everything.
c=FAIL
if wait_for 60 log_has $c "CLI-$c stop command failed"; then
  click_always_on_top $c
  sleep 5
  [ -n "$(rel_pid_of_exe "$work/$c/bin/NODE-$c")" ] || fail "$c: the node is not running"
  log_has $c "NODE-$c stopped by stop command" && fail "$c: the node stopped"
  log_has $c "MF-PELLUM-OFF started" && fail "$c: PELLUM-OFF ran after a failed stop"
  rel_alive "${app_pid[$c]}" || fail "$c: the program ended"
  close_and_check $c HUP
  rel_pass "$c: a failed stop leaves the run waiting; SIGHUP closes"
else
  fail "$c: the stop command never ran"
fi

# PELLUM-OFF never ending does not hold up Auto Close: the program closes itself with success.
c=FOREVER
expect_success $c
[ "$(rel_stored "$(store_of $c)" AlwaysOnTopTimer_TICKBOX)" = 0 ] || fail "$c: the click during the run was lost"
[ -n "$(rel_pid_of_exe "$work/$c/bin/MF-PELLUM-OFF")" ] || fail "$c: PELLUM-OFF was not left running"
rel_pass "$c: the run completed while PELLUM-OFF kept running"

# Started with SIGCHLD ignored, which would let the kernel reap our children unseen: a CORVANT that
# ends at once with status 0 is seen to, so it is started once and the run completes.
expect_success NOCHLD
rel_pass "NOCHLD: CORVANT ending at once was seen under an inherited ignored SIGCHLD"

expect_success NOHUP
rel_pass "NOHUP: SIGHUP ignored at start stays ignored"

# Standard error a pipe nobody reads: a report fails as a write and the run completes.
expect_success PIPE
[ -e "$(store_of PIPE).bad" ] || fail "PIPE: the store's unreadable line was not seen, so nothing was reported"
rel_pass "PIPE: reports to a broken pipe leave the run going"

for c in "${cases[@]}"; do
  if [ -s "$work/$c/stderr" ] && grep -q -i -E "runtime error|AddressSanitizer|LeakSanitizer" "$work/$c/stderr"; then
    fail "$c: the sanitizers reported:"
    cat "$work/$c/stderr" >&2
  fi
done
if [ "$failed_checks" != 0 ]; then
  for c in "${cases[@]}"; do echo "--- $c log"; cat "$(log_of "$c")" 2>/dev/null; echo "--- $c stderr"; cat "$work/$c/stderr"; done >&2
  echo "FAIL: $failed_checks check(s) failed" >&2
  exit 1
fi
echo PASS
