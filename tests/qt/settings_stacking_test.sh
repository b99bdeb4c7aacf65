#!/usr/bin/env bash
# Settings windows under a real EWMH window manager: each opens transient for its owner and on top
# of the stack at once (in the above band when its owner is there), with Always On Top ticked and
# with it clear, and stays above its owner. TARNWICK under a private Xvfb with openbox.
# Usage: settings_stacking_test.sh PATH/TO/TARNWICK
set -u
tarnwick=$1
. "$(dirname "$0")/../../scripts/lib/window_test.sh"
window_test_start || exit 1
export LSAN_OPTIONS="suppressions=$(dirname "$0")/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

hex() { printf '0x%x' "$1"; }
above() { xprop -id "$1" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE; }
# The last (topmost) client of the window manager's stacking order.
top_of_stack() { xprop -root _NET_CLIENT_LIST_STACKING | tr -d ',' | tr ' ' '\n' | grep '^0x' | tail -n1; }
in_stack() { xprop -root _NET_CLIENT_LIST_STACKING | tr -d ',' | tr ' ' '\n' | grep -qix "$(hex "$1")"; }
same_window() { [ "$(printf '%d' "$1")" = "$(printf '%d' "$2")" ]; }
transient_for() { xprop -id "$1" WM_TRANSIENT_FOR | sed -n 's/.*window id # \(0x[0-9a-f]*\).*/\1/p'; }

# Clicks at a point of window $1, waits for the window titled $2, and checks it the moment the
# window manager lists it: on top of the stack, transient for $1, above when $3 is "above".
open_and_check() {
  local owner=$1 title=$2 band=$3 x=$4 y=$5 win
  xdotool mousemove --window "$owner" "$x" "$y" click 1
  win=$(find_window "$title") || {
    status=1
    return 1
  }
  wait_for 5 in_stack "$win" || { fail "'$title' never entered the stacking list"; return 1; }
  same_window "$(top_of_stack)" "$win" || fail "'$title' did not open on top of the stack ($(top_of_stack))"
  if [ "$band" = above ]; then
    above "$win" || fail "'$title' opened outside the above band of its owner"
  fi
  local t; t=$(transient_for "$win")
  [ -n "$t" ] && same_window "$t" "$owner" || fail "'$title' is not transient for its owner ($t vs $(hex "$owner"))"
  sleep 1.5  # over an always-on-top tick: the owner must not be raised above the window it owns
  same_window "$(top_of_stack)" "$win" || fail "'$title' fell below $(top_of_stack) after opening"
  opened=$win
}

for mode in ticked clear; do
  config="$work/config-$mode"
  mkdir -p "$config/TARNWICK"
  chmod 700 "$config" "$config/TARNWICK"
  if [ "$mode" = clear ]; then
    (umask 077; echo 'AlwaysOnTopTimer_TICKBOX=0' >"$config/TARNWICK/TARNWICK.conf")
    band=normal
  else
    band=above
  fi
  XDG_CONFIG_HOME="$config" XDG_STATE_HOME="$work/state-home" QT_QPA_PLATFORM=xcb "$tarnwick" 2>"$work/tarnwick-$mode.err" &
  prog=$!
  track "$prog"
  main=$(find_window 'TARNWICK - TARNWICK') || exit 1
  wait_for 5 sh -c "xwininfo -id $main | grep -q 'Map State: IsViewable'"
  if [ "$mode" = ticked ]; then
    # Another program's window in front: the tick moves the main window into the above band.
    xmessage -name other -title OTHER-WINDOW "another program" &
    other=$!
    track "$other"
    xdotool windowactivate "$(find_window OTHER-WINDOW)" 2>/dev/null
    wait_for 5 above "$main" || fail "the main window never got _NET_WM_STATE_ABOVE"
  fi

  opened=
  open_and_check "$main" "TARNWICK - SETTINGS" "$band" 270 92 || continue
  hub=$opened
  for child in "TARNWICK - PELLUM & CORVANT - SETTINGS:150:108" "TARNWICK - QT / DAEMON / CLI - SETTINGS:150:156"; do
    title=${child%%:*} rest=${child#*:}
    opened=
    open_and_check "$hub" "$title" "$band" "${rest%%:*}" "${rest#*:}" || continue
    wmctrl -i -c "$(hex "$opened")"
    window_gone "$title" 5 || fail "'$title' did not close"
  done

  end_by_term "$prog" || fail "TARNWICK did not end well on SIGTERM"
  if [ "$mode" = ticked ]; then
    stop_child "$other"
    wait "$other" 2>/dev/null
    untrack "$other"
  fi
done

[ "$status" -eq 0 ] && echo "PASS: settings windows open on top of their owners"
exit "$status"
