# A private X server on a free display number, and optionally openbox on it, for the scripts and tests
# that show the real program's windows. Sourced. The caller stops both by id: private_display_stop.
#
#   private_display_start SCREEN [wm]   e.g. private_display_start 1280x800x24 wm
#
# exports DISPLAY (and unsets WAYLAND_DISPLAY) and sets private_xvfb_pid and private_wm_pid (empty
# without a window manager). With "wm" it returns once openbox answers for EWMH. -noreset keeps the
# server up when the last client goes, which the tests that start the program twice rely on.

. "$(dirname "${BASH_SOURCE[0]}")/children.sh"

private_xvfb_pid=
private_wm_pid=

private_display_start() {
  local screen=$1 with_wm=${2:-} num
  num=$(mktemp)
  Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$num" >/dev/null 2>&1 &
  private_xvfb_pid=$!
  for _ in $(seq 200); do [ -s "$num" ] && break; sleep 0.05; done
  if [ ! -s "$num" ]; then
    rm -f "$num"
    echo "FAIL: Xvfb did not start" >&2
    return 1
  fi
  export DISPLAY=":$(head -n1 "$num")"
  rm -f "$num"
  unset WAYLAND_DISPLAY
  [ "$with_wm" = wm ] || return 0
  openbox --sm-disable >/dev/null 2>&1 &
  private_wm_pid=$!
  for _ in $(seq 200); do
    case "$(xprop -root _NET_SUPPORTED 2>/dev/null)" in *_NET_WM_STATE_ABOVE*) return 0 ;; esac
    sleep 0.05
  done
  echo "FAIL: openbox did not start" >&2
  return 1
}

# Stops the window manager and the server this shell started, by id, and collects them.
private_display_stop() {
  local pid
  for pid in $private_wm_pid $private_xvfb_pid; do stop_child "$pid"; done
  for pid in $private_wm_pid $private_xvfb_pid; do wait "$pid" 2>/dev/null || true; done
  private_wm_pid= private_xvfb_pid=
  return 0
}
