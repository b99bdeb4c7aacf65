#!/usr/bin/env bash
# The real TARNWICK.exe under Wine, used as a user and as Windows would use it, with Always On Top
# ticked (the default): a settings window keeps the keyboard through the ticks; a path with a
# character beyond the Basic Multilingual Plane, typed as real X key events, is stored byte-exact;
# a shutdown that is cancelled leaves the program running with everything stored, and a confirmed
# one ends it. A second copy of the same section ends at once with status 2.
#   real_program_test.sh BIN_DIR      (WINEPREFIX and DISPLAY must name a private prefix and display)
. "$(dirname "$0")/under_wine.sh"

name=TWREAL$$
dir="$WINEPREFIX/drive_c/tw-real-$$"
mkdir -p "$dir"
cp "$bin/TARNWICK.exe" "$dir/$name.exe"
cp "$bin/window_driver.exe" "$dir/"
tarnwick=''
cleanup() {
  [[ -n $tarnwick ]] && kill "$tarnwick" 2>/dev/null
  wait 2>/dev/null
  "$wine" reg delete "HKCU\\Software\\TARNWICK\\$name" /f >/dev/null 2>&1 || true
  rm -rf "$dir"
}
trap cleanup EXIT
. "$(dirname "$0")/../../scripts/lib/window_test.sh"
drive() { (cd "$dir" && "$wine" window_driver.exe "$@" 2>/dev/null | tr -d '\r'); }
main="TARNWICK - $name" hub="TARNWICK - SETTINGS" node="TARNWICK - QT / DAEMON / CLI - SETTINGS"

(cd "$dir" && exec "$wine" "$name.exe") >/dev/null 2>&1 &
tarnwick=$!
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
text='C:\Users\𠮷田\node.exe -x'
drive click "$main" Settings
find_window "$hub" 20 >/dev/null || exit 1
drive click "$hub" "QT / DAEMON / CLI"
find_window "$node" 20 >/dev/null || exit 1
sleep 2.5
xdotool key Tab  # from Cancel to the QT command line
xdotool type --delay 150 "$text"
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
for _ in $(seq 50); do child_running "$tarnwick" || break; sleep 0.2; done
if child_running "$tarnwick"; then
  fail "TARNWICK.exe still runs after the session's end was confirmed"
else
  wait "$tarnwick" || true
  tarnwick=''
fi
[[ $(drive regget "$name" LAST_RUN_TEXTBOX) == "$(printf '%s' '!!! LAST RUN !!!' | od -An -tx1 | tr -d ' \n')" ]] ||
  fail "LAST_RUN_TEXTBOX not stored at the session's end"

((status == 0)) && echo "one copy a section, hub keyboard, non-BMP typing, cancelled and confirmed shutdown: all as they should be"
exit "$status"
