#!/usr/bin/env bash
# Performance figures of TARNWICK on this machine, side by side with their floors, in one run:
# probe time, command-line resolution on long lines, start-up time and memory, CPU while a run
# waits, click handling under load.
# Last, CPU while a run waits at 150, 400 and 2,000 processes, beside the build before (Release both).
#   bench.sh [BUILD_DIR]      (default build/release; about nine minutes; needs Xvfb, openbox, xdotool)
#   bench.sh --waiting        (only the waiting-CPU comparison, about five minutes)
# TARNWICK_PREV_COMMIT (default 42c074e) is the build before; it is built in a git worktree under /tmp
# that is kept for later runs (remove it with `git worktree remove --force /tmp/tarnwick-prev-COMMIT`).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
only_waiting=0
if [ "${1:-}" = --waiting ]; then only_waiting=1; shift; fi
build=${1:-$here/build/release}
bin=$build/bin

# ---- build what is measured: optimised, as users get it (the release preset) ----------------------
(cd "$here" && cmake --preset release -B "$build" >/dev/null)
[ "$only_waiting" = 1 ] || cmake --build "$build" -j2 --target TARNWICK minimal_qt first_paint click_latency \
  probe_bench resolver_bench MF-CORVANT-STANDIN MF-PELLUM-ON MF-PELLUM-OFF NODE-QT-STANDIN NODE-CLI-STANDIN >/dev/null

# The waiting comparison uses two Release builds: this tree's and the commit before this work's.
# That commit made every warning an error, and GCC 12 at -O3 reports a false -Wrestrict inside
# libstdc++'s string code, so that one is no error there.
prev_commit=${TARNWICK_PREV_COMMIT:-42c074e}
prev_src=/tmp/tarnwick-prev-$prev_commit
release_new=$build
release_old=$prev_src/build-release
[ -d "$prev_src" ] || git -C "$here" worktree add --detach "$prev_src" "$prev_commit" >/dev/null 2>&1
[ -f "$release_old/CMakeCache.txt" ] || cmake -S "$prev_src" -B "$release_old" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DTARNWICK_TESTS=OFF -DCMAKE_CXX_FLAGS=-Wno-error=restrict >/dev/null
for dir in "$release_old" "$release_new"; do
  cmake --build "$dir" -j2 --target TARNWICK MF-CORVANT-STANDIN MF-PELLUM-ON MF-PELLUM-OFF NODE-QT-STANDIN \
    NODE-CLI-STANDIN >/dev/null
done

work=$(mktemp -d /tmp/tarnwick-bench.XXXXXX)
export XDG_STATE_HOME=$work/state-home  # the journals, never the machine's home
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
started=()        # every process this script started, stopped by pid at the end
tarnwicks=()      # TARNWICK instances: their children are stopped with them
stop_pid() { stop_child "$1"; }
stop_tarnwick() {  # the program, then the stand-ins it started (found by parent pid before it ends)
  child_running "$1" || return 0
  local kids
  kids=$(ps -o pid= --ppid "$1" 2>/dev/null || true)
  stop_child "$1"
  for _ in $(seq 50); do child_running "$1" || break; sleep 0.1; done
  stop_child "$1" KILL
  for k in $kids; do kill "$k" 2>/dev/null || true; done
}
cleanup() {
  for p in "${tarnwicks[@]}"; do stop_tarnwick "$p"; done
  for ((i = ${#started[@]} - 1; i >= 0; i--)); do stop_pid "${started[i]}"; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
. "$here/scripts/lib/private_display.sh"
. "$here/scripts/lib/children.sh"
trap cleanup EXIT

start_display() {  # a private Xvfb + openbox named $1, stopped with the rest by cleanup
  local outer=${DISPLAY-unset}
  private_display_start 1280x800x24 wm || exit 1
  started+=("$private_xvfb_pid" "$private_wm_pid")
  echo "${DISPLAY#:}" >"$work/display.$1"
  if [ "$outer" = unset ]; then unset DISPLAY; else DISPLAY=$outer; fi
}
display_of() { echo ":$(head -n1 "$work/display.$1")"; }

stats() {  # "median min max" of the numbers on stdin
  sort -g | awk '{v[NR] = $1} END {
    if (NR == 0) { print "n/a n/a n/a"; exit }
    m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "%.1f %.1f %.1f\n", m, v[1], v[NR] }'
}
field() { sed -n "s/.*\b$1=\([-0-9.]*\).*/\1/p"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }

# A seeded store (as scripts/demo.sh writes it) for a TARNWICK started under the name $1, whose run
# starts on its own; $2 is CORVANT's command line and $3 the image name watched for it.
seed_store() {
  local name=$1 corvant=$2 image=$3 state=$4
  bash "$here/scripts/seed-run-store.sh" "$XDG_CONFIG_HOME/TARNWICK/$name.conf" "$bin" "$state" \
    "CORVANT_FULL_LOCATION_TEXTBOX=$corvant" "CV_FILENAME_TEXTBOX=$image" \
    "QT_FULL_RUN_CMD_TEXTBOX=$bin/NODE-QT-STANDIN --state $state"
}

# Starts TARNWICK under the name $1 (a link in the work folder) on display $2; its pid in last_pid.
start_tarnwick() {
  ln -sf "$bin/TARNWICK" "$work/$1"
  DISPLAY=$2 "$work/$1" >/dev/null 2>&1 &
  last_pid=$!
  tarnwicks+=("$last_pid")
}
wait_log() {  # waits until $1/log.txt has $3 lines holding $2 (at most $4 seconds)
  for _ in $(seq $(($4 * 10))); do
    local n
    n=$(grep -c -- "$2" "$1/log.txt" 2>/dev/null || true)
    [ "${n:-0}" -ge "$3" ] && return 0
    sleep 0.1
  done
  echo "bench: \"$2\" did not appear in $1/log.txt within $4 s" >&2
  return 1
}
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{s += $1} END {printf "%.0f", s}'; }
window_of() {  # the mapped X window named $2 (xdotool ignores case; Qt's hidden leader is named too)
  local w=""
  for _ in $(seq 50); do
    w=$(DISPLAY=$1 xdotool search --onlyvisible --name "^$2\$" 2>/dev/null | head -n1 || true)
    [ -n "$w" ] && break
    sleep 0.1
  done
  echo "$w"
}
# The Always On Top tick box: x 5160..6015, y 1200..1575 twips in the client area, 15 twips a pixel.
tick_rect=344,80,57,25

# ---- 5. CPU while a run waits, at 150, 400 and 2,000 processes, beside the build before ---------------
# Both builds run the same waiting run side by side (each on its own display, with its own store and
# stand-ins), so both see the same process list and the same load. Sleepers are added until /proc holds
# the number of processes asked for; each figure is the CPU time the program used (the run time of all
# its threads from /proc/PID/task/*/schedstat, with utime+stime in clock ticks beside it) over a fixed
# 60 s of wall time. CPU time, unlike wall time, is not stretched by other work on the machine.
proc_count() { local p=(/proc/[0-9]*); echo "${#p[@]}"; }
waiting_section() {
  echo "== 5. CPU while a run waits for CORVANT, 60 s per size: this build against $prev_commit (Release both) =="
  local hz crowd=() size who
  hz=$(getconf CLK_TCK)
  for size in 150 400 2000; do
    # The machine's processes are there before the run starts, as they are on a desktop: the run's own
    # programs are the newest, so a scan that finds them has read every other process first.
    local have
    have=$(proc_count)
    for ((i = have + 8; i < size; i++)); do
      sleep 3600 &
      crowd+=($!)
      started+=($!)
    done
    for who in new old; do
      local b=$release_new/bin display=$main_display
      [ "$who" = old ] && b=$release_old/bin display=$idle_display
      local state=$work/state-wait-$who-$size
      export XDG_CONFIG_HOME=$work/config-wait-$who-$size
      mkdir -p -m 700 "$XDG_CONFIG_HOME"
      mkdir -p "$state"
      bin=$b seed_store "TARNWICK-WAIT-$who" "$b/MF-CORVANT-STANDIN --state $state --catch-up-ms 600000" \
        MF-CORVANT-STANDIN "$state"
      TARNWICK_STANDIN_STATE=$state bin=$b start_tarnwick "TARNWICK-WAIT-$who" "$display"
      printf -v "wait_pid_$who" %s "$last_pid"
    done
    for who in new old; do
      wait_log "$work/state-wait-$who-$size" "MF-CORVANT-STANDIN started" 1 60
      wait_log "$work/state-wait-$who-$size" "MF-PELLUM-ON done" 1 60  # its watcher now asks for a gone name
    done
    sleep 2
    local t0n t0o n0n n0o t1n t1o n1n n1o start_s elapsed count pn po
    count=$(proc_count)
    t0n=$(cpu_ticks "$wait_pid_new"); n0n=$(cpu_ns "$wait_pid_new")
    t0o=$(cpu_ticks "$wait_pid_old"); n0o=$(cpu_ns "$wait_pid_old")
    start_s=$(date +%s.%N)
    sleep 60
    elapsed=$(awk -v a="$start_s" -v b="$(date +%s.%N)" 'BEGIN {print b - a}')
    t1n=$(cpu_ticks "$wait_pid_new"); n1n=$(cpu_ns "$wait_pid_new")
    t1o=$(cpu_ticks "$wait_pid_old"); n1o=$(cpu_ns "$wait_pid_old")
    pn=$(awk -v d=$((n1n - n0n)) -v s="$elapsed" 'BEGIN {printf "%.3f", 100 * d / 1e9 / s}')
    po=$(awk -v d=$((n1o - n0o)) -v s="$elapsed" 'BEGIN {printf "%.3f", 100 * d / 1e9 / s}')
    printf '%5s processes (%s in /proc): this build %s %% of one core (%s ticks), %s %s %% (%s ticks): %s× less\n' \
      "$size" "$count" "$pn" $((t1n - t0n)) "$prev_commit" "$po" $((t1o - t0o)) "$(ratio "$po" "$pn")"
    echo "      stand-ins of the two runs: $(ps -o comm= --ppid "$wait_pid_new,$wait_pid_old" | sort | uniq -c |
      awk '{printf "%s %s  ", $1, $2}')"
    # Pids wrap (pid_max), so the run's programs are not always last in /proc's (numeric) order; a scan
    # that finds one stops there, which is what the build before pays for its three hits a second.
    echo "      in /proc order, the $prev_commit run's programs come after: $(ps -o pid=,comm= --ppid "$wait_pid_old" |
      while read -r kid name; do
        printf '%s %s, ' "$name" "$(ls /proc | grep -E '^[0-9]+$' | awk -v p="$kid" '$1 < p' | wc -l)"
      done) of $count processes"
    stop_tarnwick "$wait_pid_new"
    stop_tarnwick "$wait_pid_old"
  done
  echo "  (CPU: the run time of all the program's threads from /proc/PID/task/*/schedstat over 60 s of wall"
  echo "   time; ticks: utime+stime in 1/$hz s over the same time)"
  for p in "${crowd[@]}"; do stop_child "$p"; done
}

echo "TARNWICK benchmark — $(date -u +%Y-%m-%dT%H:%MZ), $(nproc) cores, $(uname -r), build: $build" \
     "(CMAKE_BUILD_TYPE='$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt")')"
echo

mark=$SECONDS
if [ "$only_waiting" = 1 ]; then
  start_display main
  start_display idle
  main_display=$(display_of main)
  idle_display=$(display_of idle)
  waiting_section
  echo "done in $SECONDS s"
  exit 0
fi
# ---- 1. probe time ---------------------------------------------------------------------------------
echo "== 1. IsProcessRunning against pgrep -x -i and psutil (build/bin/probe_bench) =="
if ! PYTHON=${PYTHON:-/usr/bin/python3} "$bin/probe_bench"; then
  echo "(probe_bench failed; its figures are missing from this run)"
fi
echo
echo "== 1b. Resolving long unquoted command lines (build/bin/resolver_bench): time per byte stays flat =="
"$bin/resolver_bench" || echo "(resolver_bench failed; its figures are missing from this run)"
echo

start_display main
start_display idle
main_display=$(display_of main)
idle_display=$(display_of idle)

echo "(section took $((SECONDS - mark)) s)"; mark=$SECONDS
# ---- 2. start-up time and memory -------------------------------------------------------------------
echo "== 2. Start-up to the first painted window, and memory 2 s later (10 runs each, alternated) =="
export XDG_CONFIG_HOME=$work/config-start
mkdir -p -m 700 "$XDG_CONFIG_HOME"
: >"$work/start.floor"
: >"$work/start.tarnwick"
measure_start() {  # $1 floor|tarnwick, $2 keep the figures (1) or not (0, the warm-up)
  local line
  if [ "$1" = floor ]; then
    line=$(DISPLAY=$main_display "$bin/first_paint" --name MINIMAL_QT -- "$bin/minimal_qt")
  else
    line=$(DISPLAY=$main_display "$bin/first_paint" --name "TARNWICK - TARNWICK" -- "$bin/TARNWICK")
  fi
  [ "$2" = 1 ] && echo "$line" >>"$work/start.$1"
  return 0
}
measure_start floor 0
measure_start tarnwick 0
for i in $(seq 10); do
  if [ $((i % 2)) = 1 ]; then measure_start floor 1; measure_start tarnwick 1
  else measure_start tarnwick 1; measure_start floor 1; fi
done
for who in floor tarnwick; do
  read -r paint_med paint_min paint_max < <(field paint_ms <"$work/start.$who" | stats)
  read -r map_med _ _ < <(field map_ms <"$work/start.$who" | stats)
  read -r rss_med _ _ < <(field rss_kb <"$work/start.$who" | stats)
  read -r pss_med _ _ < <(field pss_kb <"$work/start.$who" | stats)
  printf -v "paint_$who" %s "$paint_med"
  printf -v "rss_$who" %s "$rss_med"
  printf -v "pss_$who" %s "$pss_med"
  printf '%-9s first paint median %6s ms (min %s, max %s; mapped at %s ms)  VmRSS %s kB  PSS %s kB  (n=%s)\n' \
    "$who" "$paint_med" "$paint_min" "$paint_max" "$map_med" "$rss_med" "$pss_med" "$(wc -l <"$work/start.$who")"
done
echo "ratio     start-up $(ratio "$paint_tarnwick" "$paint_floor") (target <= 1.30)," \
     "VmRSS $(ratio "$rss_tarnwick" "$rss_floor") / PSS $(ratio "$pss_tarnwick" "$pss_floor") (target <= 1.20)"
echo

echo "(section took $((SECONDS - mark)) s)"; mark=$SECONDS
# ---- 3. CPU while a run waits, and idle ------------------------------------------------------------
echo "== 3. CPU over 60 s: a run waiting for CORVANT with every watcher armed, and an idle program =="
export XDG_CONFIG_HOME=$work/config-run
mkdir -p -m 700 "$XDG_CONFIG_HOME"
state=$work/state-run
mkdir -p "$state"
seed_store TARNWICK-BENCH-RUN "$bin/MF-CORVANT-STANDIN --state $state --catch-up-ms 600000" \
  MF-CORVANT-STANDIN "$state"
TARNWICK_STANDIN_STATE=$state start_tarnwick TARNWICK-BENCH-RUN "$main_display"
run_pid=$last_pid
mkdir -p -m 700 "$work/config-idle"
XDG_CONFIG_HOME=$work/config-idle start_tarnwick TARNWICK-BENCH-IDLE "$idle_display"
idle_pid=$last_pid
wait_log "$state" "MF-CORVANT-STANDIN started" 1 40
sleep 2  # the loader has seen it and armed the complete timer
hz=$(getconf CLK_TCK)
run_t0=$(cpu_ticks "$run_pid"); run_n0=$(cpu_ns "$run_pid")
idle_t0=$(cpu_ticks "$idle_pid"); idle_n0=$(cpu_ns "$idle_pid")
start_s=$(date +%s.%N)
sleep 60
elapsed=$(awk -v a="$start_s" -v b="$(date +%s.%N)" 'BEGIN {print b - a}')
run_t1=$(cpu_ticks "$run_pid"); run_n1=$(cpu_ns "$run_pid")
idle_t1=$(cpu_ticks "$idle_pid"); idle_n1=$(cpu_ns "$idle_pid")
cpu_run=$(awk -v d=$((run_t1 - run_t0)) -v hz="$hz" -v s="$elapsed" 'BEGIN {printf "%.3f", 100 * d / hz / s}')
cpu_idle=$(awk -v d=$((idle_t1 - idle_t0)) -v hz="$hz" -v s="$elapsed" 'BEGIN {printf "%.3f", 100 * d / hz / s}')
cpu_run_ns=$(awk -v d=$((run_n1 - run_n0)) -v s="$elapsed" 'BEGIN {printf "%.3f", 100 * d / 1e9 / s}')
cpu_idle_ns=$(awk -v d=$((idle_n1 - idle_n0)) -v s="$elapsed" 'BEGIN {printf "%.3f", 100 * d / 1e9 / s}')
printf 'run waiting  %s %% of one core (utime+stime, %s ticks in %.1f s; threads on CPU: %s %%)  target < 0.5 %%\n' \
  "$cpu_run" $((run_t1 - run_t0)) "$elapsed" "$cpu_run_ns"
printf 'idle         %s %% of one core (utime+stime, %s ticks in %.1f s; threads on CPU: %s %%)\n' \
  "$cpu_idle" $((idle_t1 - idle_t0)) "$elapsed" "$cpu_idle_ns"
echo "stand-ins the run started: $(ps -o comm= --ppid "$run_pid" | sort | uniq -c | awk '{printf "%s %s  ", $1, $2}')"
stop_tarnwick "$idle_pid"
echo

echo "(section took $((SECONDS - mark)) s)"; mark=$SECONDS
# ---- 4. click handling -----------------------------------------------------------------------------
echo "== 4. Click on \"Always On Top\" to its visible change (XTEST release → first changed pixel, 1 ms polls) =="
win=$(window_of "$main_display" "TARNWICK - TARNWICK-BENCH-RUN")
calm=$(DISPLAY=$main_display "$bin/click_latency" --window "$win" --rect "$tick_rect" --clicks 20)
echo "TARNWICK, run waiting (as in 3):          $calm"
stop_tarnwick "$run_pid"

DISPLAY=$main_display "$bin/minimal_qt" >/dev/null 2>&1 &
floor_pid=$!
started+=("$floor_pid")
win=$(window_of "$main_display" MINIMAL_QT)
sleep 0.5
floor_click=$(DISPLAY=$main_display "$bin/click_latency" --window "$win" --rect "$tick_rect" --clicks 20)
echo "floor (minimal_qt's own QCheckBox):        $floor_click"
stop_pid "$floor_pid"

# Misbehaving surroundings: 400 more processes, and a CORVANT that crashes at once, watched under an
# image name it never shows, so the loader launches it again every second for as long as the run waits.
crowd=()
for _ in $(seq 400); do sleep 3600 & crowd+=($!); done
started+=("${crowd[@]}")
export XDG_CONFIG_HOME=$work/config-click
mkdir -p -m 700 "$XDG_CONFIG_HOME"
state=$work/state-click
mkdir -p "$state"
seed_store TARNWICK-BENCH-CLICK "$bin/MF-CORVANT-STANDIN --state $state --crash" MF-CORVANT-NEVER "$state"
TARNWICK_STANDIN_STATE=$state start_tarnwick TARNWICK-BENCH-CLICK "$main_display"
click_pid=$last_pid
wait_log "$state" "MF-CORVANT-STANDIN crashed" 2 40
win=$(window_of "$main_display" "TARNWICK - TARNWICK-BENCH-CLICK")
busy=$(DISPLAY=$main_display "$bin/click_latency" --window "$win" --rect "$tick_rect" --clicks 20)
echo "TARNWICK, run waiting + 400 processes + CORVANT crashing each second: $busy"
echo "  (processes in /proc: $(ls -d /proc/[0-9]* 2>/dev/null | wc -l); CORVANT launches so far: $(grep -c 'MF-CORVANT-STANDIN started' "$state/log.txt"))"
stop_tarnwick "$click_pid"
for p in "${crowd[@]}"; do stop_child "$p"; done
echo "(section took $((SECONDS - mark)) s)"; mark=$SECONDS
echo
waiting_section
echo "(section took $((SECONDS - mark)) s)"
echo
echo "done in $SECONDS s"
