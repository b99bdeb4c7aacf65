#!/usr/bin/env bash
# The real TARNWICK.exe under Wine, used as a user and as Windows would use it, with Always On Top
# ticked (the default): a settings window keeps the keyboard through the ticks; a path with a
# character beyond the Basic Multilingual Plane, typed as real X key events, is stored byte-exact;
# a shutdown that is cancelled leaves the program running with everything stored, and a confirmed
# one ends it; a window closed unmoved stores where it was placed and an outcome it never changed
# byte for byte; Auto Close running out while a title bar is held or dragged ends the program. A
# second copy of the same section ends at once with status 2.
#   real_program_test.sh BIN_DIR      (WINEPREFIX and DISPLAY must name a private prefix and display)
. "$(dirname "$0")/under_wine.sh"

name=TWREAL$$
dir="$WINEPREFIX/drive_c/tw-real-$$"
mkdir -p "$dir"
cp "$bin/TARNWICK.exe" "$dir/$name.exe"
cp "$bin/window_driver.exe" "$dir/"
tarnwick=''
cleanup() {
  stop_child "$tarnwick"
  wait 2>/dev/null
  "$wine" reg delete "HKCU\\Software\\TARNWICK\\$name" /f >/dev/null 2>&1 || true
  rm -rf "$dir"
}
trap cleanup EXIT
. "$(dirname "$0")/../../scripts/lib/window_test.sh"
drive() { (cd "$dir" && "$wine" window_driver.exe "$@" 2>/dev/null | tr -d '\r'); }
main="TARNWICK - $name" hub="TARNWICK - SETTINGS" node="TARNWICK - QT / DAEMON / CLI - SETTINGS"

start_tarnwick() {
  (cd "$dir" && exec "$wine" "$name.exe") >/dev/null 2>&1 &
  tarnwick=$!
}
# Waits up to SECS seconds for the program to end, and collects it.
tarnwick_ends() {
  wait_for "$1" eval "! child_running $tarnwick" || return 1
  wait "$tarnwick" || true
  tarnwick=''
}
utf16() { printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 | tr -d ' \n'; }

# Wine draws the frames, as Windows does: a press on a title bar reaches the program, and a
# window's X geometry is its Windows rectangle.
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
start_tarnwick
find_window "$main" 20 >/dev/null || exit 1

# 0. A second copy of the section, under its name in small letters (the registry's key is the same),
# ends at once with status 2 and one line naming the section, and shows no window.
mkdir -p "$dir/second"
cp "$bin/TARNWICK.exe" "$dir/second/${name,,}.exe"
rc=0
(cd "$dir/second" && exec timeout 60 "$wine" "${name,,}.exe") >/dev/null 2>"$dir/second.err" || rc=$?
((rc == 2)) || fail "a second copy of the section ended with status $rc, not 2"
grep -q -F "TARNWICK: another copy of the program runs under the settings section \"${name,,}\"" "$dir/second.err" ||
  fail "a second copy did not say why it ended: $(cat "$dir/second.err")"
[[ $(xdotool search --name "^TARNWICK - $name\$" 2>/dev/null | wc -l) == 1 ]] || fail "a second copy showed a window"

# 1. The hub keeps the keyboard through three ticks: Escape still presses its Close.
drive click "$main" Settings
find_window "$hub" 20 >/dev/null || exit 1
sleep 3.5
xdotool key Escape
window_gone "$hub" 20 || fail "Escape did not reach the hub after three ticks"
[[ -z $(window "$hub") ]] || { echo "FAIL: cannot go on with the hub open" >&2; exit 1; }

# 2. A non-BMP character typed into the node-programs window survives Save byte-exact.
text='C:\Users\𠮷\node.exe -x'
drive click "$main" Settings
find_window "$hub" 20 >/dev/null || exit 1
drive click "$hub" "QT / DAEMON / CLI"
find_window "$node" 20 >/dev/null || exit 1
sleep 2.5
xdotool key Tab  # from Cancel to the QT command line
# A character the keymap lacks is typed through a keycode xdotool remaps for it; the program must
# see that mapping before the next such character or the key after it, so it goes alone, with time
# on either side (a busy machine is slow to pass the new mapping on).
xdotool type --delay 150 'C:\Users\'
sleep 0.5
xdotool type --delay 400 '𠮷'
sleep 0.5
xdotool type --delay 150 '\node.exe -x'
sleep 1.5
drive click "$node" Save
want=$(printf '%s' "$text" | od -An -tx1 | tr -d ' \n')
got=$(drive regget "$name" QT_RUN_CMD_TEXTBOX || true)
[[ $got == "$want" ]] || fail "stored $(printf '%s' "$got" | xxd -r -p) ($got), typed $text ($want)"
xdotool key Escape
window_gone "$node" 20 || fail "Escape did not close the node-programs window"
xdotool key Escape
window_gone "$hub" 20 || fail "Escape did not close the hub"

# 3. The session's end asked, then cancelled: everything stored, the program still running.
drive regget "$name" MAIN-Left >/dev/null && fail "MAIN-Left stored before the session's end was asked"
answer=$(drive endsession "$main" no)
[[ $answer == "query answered TRUE" ]] || fail "the query was answered \"$answer\""
sleep 2
child_running "$tarnwick" || fail "TARNWICK.exe ended although the shutdown was cancelled"
[[ -n $(window "$main") ]] || fail "the main window closed although the shutdown was cancelled"
for key in MAIN-Left MAIN-Top AlwaysOnTopTimer_TICKBOX AUTOSTART_TIME_TICKBOX AUTOCLOSE_TIME_TICKBOX LAST_RUN_TEXTBOX; do
  drive regget "$name" "$key" >/dev/null || fail "$key not stored when the session's end was asked"
done

# 4. Asked and confirmed: the program ends.
drive endsession "$main" yes >/dev/null
tarnwick_ends 10 || fail "TARNWICK.exe still runs after the session's end was confirmed"
[[ $(drive regget "$name" LAST_RUN_TEXTBOX) == "$(printf '%s' '!!! LAST RUN !!!' | od -An -tx1 | tr -d ' \n')" ]] ||
  fail "LAST_RUN_TEXTBOX not stored at the session's end"

# 5. Closed unmoved: the place the window was brought to on the screen is stored, and an outcome
#    holding half a surrogate pair, which UTF-8 cannot carry, goes back exactly as it was read.
outcome="$(utf16 '!!! ')00d8$(utf16 ' !!!')0000"
drive regput "$name" MAIN-Left 1 "$(utf16 -60000)0000"
drive regput "$name" LAST_RUN_TEXTBOX 1 "$outcome"
start_tarnwick
if id=$(find_window "$main" 20); then
  eval "$(xdotool getwindowgeometry --shell "$id")"
  drive close "$main"
  tarnwick_ends 10 || fail "TARNWICK.exe still runs after its window was closed"
  left=$(drive regget "$name" MAIN-Left | xxd -r -p)
  [[ $left == $((X * 15)) ]] || fail "MAIN-Left stored as $left, the window was at $((X * 15))"
  [[ $(drive regraw "$name" LAST_RUN_TEXTBOX) == "1 $outcome" ]] ||
    fail "the outcome became $(drive regraw "$name" LAST_RUN_TEXTBOX), was 1 $outcome"
else
  fail "no main window for the unmoved close"
fi

# 6. Auto Close runs out while the user holds a title bar still or drags it, the main window's or
#    the hub's: the program ends with its last window, though the move loop (Wine's goes on while
#    the button is down, window or none) holds on.
drive regput "$name" AUTOCLOSE_TIME_TICKBOX 1 "$(utf16 1)0000"
for row in "main hold" "main drag" "hub hold" "hub drag"; do
  read -r which how <<<"$row"
  start_tarnwick
  find_window "$main" 20 >/dev/null || { fail "$row: no main window"; break; }
  drive click "$main" START 2  # Auto Close's; Auto Start's comes first
  title=$main
  if [[ $which == hub ]]; then
    drive click "$main" Settings
    title=$hub
  fi
  id=$(find_window "$title" 20) || { fail "$row: no window $title"; break; }
  eval "$(xdotool getwindowgeometry --shell "$id")"
  start_x=$X
  xdotool mousemove $((X + WIDTH / 2)) $((Y + 8)) mousedown 1
  moved=''
  for i in $(seq 200); do  # the countdown runs out after 11 s
    [[ $how == drag ]] && xdotool mousemove_relative -- 3 1
    sleep 0.1
    no_window "$main" 2>/dev/null && break
    if ((i == 20)); then
      eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null)"
      if [[ $X != "$start_x" ]]; then moved=1; fi
    fi
  done
  [[ $how == hold || -n $moved ]] || fail "$row: the drag did not move the window"
  if no_window "$main" 2>/dev/null; then
    tarnwick_ends 2 || fail "$row: TARNWICK.exe still runs 2 s after Auto Close closed its last window"
  else
    fail "$row: Auto Close did not close the windows"
  fi
  xdotool mouseup 1
  if [[ -n $tarnwick ]]; then
    stop_child "$tarnwick"
    wait "$tarnwick" 2>/dev/null || true
    tarnwick=''
  fi
done

((status == 0)) && echo "one copy a section, hub keyboard, non-BMP typing, shutdown, unmoved close, Auto Close during a drag: all as they should be"
exit "$status"
