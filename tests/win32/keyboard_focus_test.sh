#!/usr/bin/env bash
# The real TARNWICK.exe under Wine with Always On Top ticked (the default) beside another program
# the user types in: through several ticks every key typed, one a second as real X key events,
# must reach that program, none the main window.
#   keyboard_focus_test.sh BIN_DIR      (WINEPREFIX and DISPLAY must name a private prefix and display)
. "$(dirname "$0")/under_wine.sh"

dir="$WINEPREFIX/drive_c/tw-focus-$$"
mkdir -p "$dir"
cp "$bin/TARNWICK.exe" "$dir/TWFOCUS.exe"
cp "$bin/key_recorder.exe" "$dir/"
tarnwick='' recorder=''
cleanup() {
  stop_child "$recorder"
  stop_child "$tarnwick"
  wait 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT

. "$(dirname "$0")/../../scripts/lib/window_test.sh"

(cd "$dir" && exec "$wine" TWFOCUS.exe) >/dev/null 2>&1 &
tarnwick=$!
main=$(find_window "TARNWICK - TWFOCUS" 30)
(cd "$dir" && exec "$wine" key_recorder.exe 'C:\tw-focus-'$$'\keys.txt') >/dev/null 2>&1 &
recorder=$!
other=$(find_window "TARNWICK key recorder" 30)
xdotool windowactivate --sync "$other" 2>/dev/null || xdotool windowfocus "$other"
sleep 1.5

# Four keys, a second apart: an Always On Top tick falls between each two of them, and one that
# took the keyboard would take every key after it.
keys=abcd
for ((i = 0; i < ${#keys}; ++i)); do
  xdotool key "${keys:i:1}"
  sleep 1
done
sleep 0.5
got=$(cat "$dir/keys.txt" 2>/dev/null || true)
[[ $got == "$keys" ]] || fail "the other program got \"$got\" of \"$keys\""
active=$(xdotool getactivewindow 2>/dev/null || true)
[[ $active == "$other" ]] || fail "the active window is $active, not the other program's $other (main: $main)"
# The main window is still above the other program: the tick did its work without the keyboard.
child_running "$tarnwick" || fail "TARNWICK.exe ended"
((status == 0)) && echo "all ${#keys} keys reached the other program through $(( ${#keys} + 1 )) seconds of ticks"
exit "$status"
