#!/usr/bin/env bash
# Always on top with a real EWMH window manager: TARNWICK under a private Xvfb with openbox, another
# program's window put in front, then the stacking state and geometry read back from the X server.
# Usage: always_on_top_test.sh PATH/TO/TARNWICK
set -u
tarnwick=$1
. "$(dirname "$0")/../../scripts/lib/window_test.sh"
window_test_start || exit 1

mkdir -p "$work/config"
# In a sanitizer build, the session bus library's process-long allocations are not the program's.
export LSAN_OPTIONS="suppressions=$(dirname "$0")/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state-home" QT_QPA_PLATFORM=xcb "$tarnwick" 2>"$work/tarnwick.err" &
prog=$!
track "$prog"
main=$(find_window 'TARNWICK - TARNWICK') || exit 1
geometry() { xwininfo -id "$1" | grep -E 'Absolute upper-left|Width|Height' | tr '\n' ' ' | tr -s ' '; }
wait_for 5 sh -c "xwininfo -id $main | grep -q 'Map State: IsViewable'"
sleep 0.5
before=$(geometry "$main")

# The designed place and size: the frame at 1000/1000 twips, the client 633 x 119 pixels.
case "$before" in
  *"Width: 633 Height: 119"*) ;;
  *) fail "client size is not 633x119: $before" ;;
esac

xmessage -name other -title OTHER-WINDOW "another program" &
track $!
other_win=$(find_window OTHER-WINDOW) || exit 1
xdotool windowactivate "$other_win" 2>/dev/null
wait_for 5 sh -c "xprop -root _NET_ACTIVE_WINDOW | grep -qi $(printf '0x%x' "$other_win")" ||
  fail "the other window never became active"

above() { xprop -id "$1" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE; }
wait_for 5 above "$main" || fail "the main window never got _NET_WM_STATE_ABOVE"
above "$other_win" && fail "the other window has _NET_WM_STATE_ABOVE"
after=$(geometry "$main")
[ "$before" = "$after" ] || fail "the main window moved or changed size: '$before' -> '$after'"
active=$(xprop -root _NET_ACTIVE_WINDOW)
case "$active" in
  *"$(printf '0x%x' "$other_win")"*) ;;
  *) fail "raising the main window activated it: $active" ;;
esac

# The settings hub, modal to the always-on-top main window, must open above it, not under it.
xdotool mousemove --window "$main" 270 92 click 1
hub=$(find_window 'TARNWICK - SETTINGS') || fail "the Settings button opened no window"
if [ -n "$hub" ]; then
  wait_for 5 above "$hub" || fail "the hub is not above its always-on-top owner"
  stacking=$(xprop -root _NET_CLIENT_LIST_STACKING | tr -d ',' | tr ' ' '\n' | grep -n '^0x' )
  pos_main=$(echo "$stacking" | grep -i "$(printf '0x%x' "$main")\$" | cut -d: -f1)
  pos_hub=$(echo "$stacking" | grep -i "$(printf '0x%x' "$hub")\$" | cut -d: -f1)
  [ -n "$pos_main" ] && [ -n "$pos_hub" ] && [ "$pos_hub" -gt "$pos_main" ] ||
    fail "the hub is stacked under the main window ($pos_hub vs $pos_main)"
fi

# A polite end: SIGTERM closes through the core, which stores the position it opened at.
end_by_term "$prog"
rc=$?
if [ "$rc" -ne 0 ]; then
  fail "TARNWICK ended with $rc on SIGTERM (124: it did not end)"
else
  conf="$work/config/TARNWICK/TARNWICK.conf"
  grep -qx 'MAIN-Left=1000' "$conf" || fail "MAIN-Left not stored unchanged: $(grep MAIN- "$conf" 2>&1)"
  grep -qx 'AlwaysOnTopTimer_TICKBOX=1' "$conf" || fail "the unload did not store the tick boxes"
fi

[ "$status" -eq 0 ] && echo "PASS: always on top under openbox"
exit "$status"
