# Whether a background child of this shell still runs. Sourced.
#
#   child_running PID    true while PID, started by this shell with &, has not ended
#   stop_child PID [SIG] sends SIG (TERM) to PID only while it is such a running child; a pid
#                        already collected (by wait, say) is never signalled, so no stranger is hit
#
# Asked of the shell's own job table, never of /proc or kill -0: the shell collects an ended child
# by itself at any moment, and its pid may then belong to another process, which would count as
# the child still running (and be killed in its place).

child_running() {
  local p
  for p in $(jobs -pr); do [ "$p" = "$1" ] && return 0; done
  return 1
}

stop_child() {
  [ -n "$1" ] || return 0
  child_running "$1" || return 0
  kill -"${2:-TERM}" "$1" 2>/dev/null || true
}
