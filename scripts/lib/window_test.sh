# What the shell tests that drive real windows share: a private display, a failure tally, waiting
# for a condition, finding a window by its exact title, and stopping what the test started, by id.
# Sourced.
#
#   window_test_start         a private 1280x800 Xvfb with openbox, a temporary folder $work, and
#                             an exit trap that stops what was tracked, the display, and removes $work
#   fail TEXT...              says FAIL, sets status=1 and counts it in failed_checks; the test goes on
#   wait_for SECS CMD...      runs CMD until it succeeds, for up to SECS seconds
#   window TITLE              the X id of a window with exactly this title, or nothing
#   find_window TITLE [SECS]  waits for such a window (10 s by default) and prints its id
#   window_gone TITLE [SECS]  waits until no window has this title
#   track PID...              stop_tracked ends these by id, newest first, and collects them
#   end_by_term PID [SECS]    SIGTERM to a tracked child; its exit status, or 124 if it is still
#                             there after SECS seconds (5 by default)
#   child_running PID         true while this shell's background child PID runs (children.sh)

. "$(dirname "${BASH_SOURCE[0]}")/private_display.sh"
. "$(dirname "${BASH_SOURCE[0]}")/children.sh"

status=0
failed_checks=0
tracked_pids=()

window_test_start() {
  work=$(mktemp -d)
  trap 'stop_tracked; private_display_stop; rm -rf "$work"' EXIT
  private_display_start 1280x800x24 wm
}

fail() {
  echo "FAIL: $*" >&2
  status=1
  failed_checks=$((failed_checks + 1))
}

wait_for() {
  local secs=$1 _
  shift
  for _ in $(seq $((secs * 20))); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.05
  done
  return 1
}

# An X error (a window destroyed while the search walks the tree) ends a search without an answer:
# it is made again, so a window never seems gone only because another one went at that moment.
window() {
  local out _
  for _ in 1 2 3 4 5; do
    out=$(xdotool search --name "^$1\$" 2>&1) || true
    case $out in
      *"X Error"*) sleep 0.05 ;;
      *)
        printf '%s\n' "$out" | grep -m1 -E '^[0-9]+$' || true
        return 0
        ;;
    esac
  done
}
has_window() { [ -n "$(window "$1")" ]; }
no_window() { [ -z "$(window "$1")" ]; }

find_window() {
  wait_for "${2:-10}" has_window "$1" || {
    echo "FAIL: no window \"$1\"" >&2
    return 1
  }
  window "$1"
}

window_gone() { wait_for "${2:-10}" no_window "$1"; }

track() { tracked_pids+=("$@"); }

stop_tracked() {
  local i
  # A tracked id already collected (end_by_term, rel_wait_exit) may name a stranger by now.
  for ((i = ${#tracked_pids[@]} - 1; i >= 0; i--)); do stop_child "${tracked_pids[i]}"; done
  for ((i = ${#tracked_pids[@]} - 1; i >= 0; i--)); do wait "${tracked_pids[i]}" 2>/dev/null || true; done
  tracked_pids=()
}

untrack() {
  local kept=() pid
  for pid in "${tracked_pids[@]}"; do [ "$pid" = "$1" ] || kept+=("$pid"); done
  tracked_pids=("${kept[@]}")
}

end_by_term() {
  local pid=$1 rc=0
  stop_child "$pid"
  wait_for "${2:-5}" eval "! child_running $pid" || return 124
  wait "$pid" || rc=$?
  untrack "$pid"
  return "$rc"
}
