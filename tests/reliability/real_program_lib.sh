# Shared by the reliability tests of the real program, on top of scripts/lib/window_test.sh (fail,
# wait_for, find_window, track): the stand-ins' copies under `work`, a process's end and exit
# status, and stored values. Sourced; expects `work` (a private temporary folder) to be set.
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/window_test.sh"

rel_pass() { echo "ok: $*"; }

# Every process whose executable lies under `work` (the stand-ins' private copies), by id.
rel_pids_under_work() {
  local exe p
  for p in /proc/[0-9]*; do
    exe=$(readlink "$p/exe" 2>/dev/null) || continue
    case "$exe" in "$work"/*) echo "${p#/proc/}" ;; esac
  done
}

rel_pid_of_exe() {  # the ids of processes running exactly this executable file
  local exe p
  for p in /proc/[0-9]*; do
    exe=$(readlink "$p/exe" 2>/dev/null) || continue
    [ "$exe" = "$1" ] && echo "${p#/proc/}"
  done
  return 0
}

# Ends what the test started by id, and every stand-in copy under `work` however it was started.
rel_cleanup() {
  local p
  # Tracked children first, asking the job table: many were collected by rel_wait_exit already.
  for p in "${tracked_pids[@]}"; do stop_child "$p"; done
  # The stand-ins the program launched are not our children: they are found by their executable,
  # which lies in this test's private folder only.
  for p in $(rel_pids_under_work); do kill -9 "$p" 2>/dev/null || true; done
  stop_tracked
  rm -rf "$work"
}

rel_start_x() {  # a private X server, with openbox when $1 is "wm"
  private_display_start 1280x1024x24 "$1" || exit 1
  track "$private_xvfb_pid" $private_wm_pid
}

# The id of the first window titled "TARNWICK - NAME", waiting up to $2 seconds; empty when none.
rel_wait_window() { find_window "TARNWICK - $1" "${2:-30}" 2>/dev/null; }

rel_count_windows() { xdotool search --name "^TARNWICK - $1\$" 2>/dev/null | wc -l; }

# True while the child runs; an ended child, collected or not, does not count.
rel_alive() { child_running "$1"; }

# Waits for the process to end (up to $2 seconds) and sets rel_rc to its exit code; 124 when it
# did not end. Not a command substitution: only this shell can collect its own child.
rel_wait_exit() {
  local pid=$1 limit=${2:-30}
  for _ in $(seq $((limit * 10))); do
    rel_alive "$pid" || break
    sleep 0.1
  done
  if rel_alive "$pid"; then
    rel_rc=124
    return
  fi
  rel_rc=0
  wait "$pid" || rel_rc=$?
}

# The value of KEY in a store file, or "<absent>".
rel_stored() {
  local value
  value=$(grep -a -m1 "^$2=" "$1" 2>/dev/null) || { echo "<absent>"; return; }
  echo "${value#*=}"
}
