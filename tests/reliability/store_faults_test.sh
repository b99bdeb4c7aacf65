#!/usr/bin/env bash
# The real program under store faults, on a private X server, one wiring row for each rule the store
# tests hold in their tables: bad lines among good ones, a FIFO where the file should be, a store
# planted by another user, a file-size limit, a read-only folder, another user's locks and links.
# It must start, use what it can read, say once what it cannot use, change nothing it does not
# trust, and end with exit code 0. A second copy of one section ends at once with status 2; copies
# of two sections run side by side.
#   store_faults_test.sh BIN_DIR
set -uo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/tarnwick-store-faults.XXXXXX)
export XDG_STATE_HOME=$work/state-home  # the journals, never the machine's home
umask 022  # folders made here are writable by nobody else unless a case says so
# shellcheck source=real_program_lib.sh
source "$here/real_program_lib.sh"
trap rel_cleanup EXIT
rel_start_x nowm

# Starts the program as NAME with its own XDG_CONFIG_HOME (the case folder), optionally through a
# wrapper command; sets case_pid, and started_at[NAME] to when. Standard error goes to the case folder.
declare -A started_at early_pid before_of
start_case() {
  local name=$1
  shift
  mkdir -p "$work/$name"
  ln -sf "$bin/TARNWICK" "$work/$name/$name"
  XDG_CONFIG_HOME=$work/$name/config "$@" "$work/$name/$name" 2>>"$work/$name/stderr" &
  case_pid=$!
  started_at[$name]=$SECONDS
  track "$case_pid"
}

store_of() { echo "$work/$1/config/TARNWICK/$1.conf"; }
seed() {
  mkdir -p "$work/$1/config/TARNWICK"
  chmod 700 "$work/$1/config/TARNWICK"
  printf '%b' "$2" >"$(store_of "$1")"
}

# Opens, waits for the window, closes by SIGTERM (the close box's way), checks exit code 0. A
# program that hangs (at a FIFO, say) is killed by its id, so the test goes on and fails.
run_and_close() {
  local name=$1
  shift
  # A case started early (one that must run for a while) is only closed here.
  if [ -n "${early_pid[$name]:-}" ]; then case_pid=${early_pid[$name]}; else start_case "$name" "$@"; fi
  if [ -z "$(rel_wait_window "$name" 30)" ]; then
    fail "$name: no window appeared"
    cat "$work/$name/stderr" >&2
    stop_child "$case_pid" KILL
    wait "$case_pid" 2>/dev/null
    return 1
  fi
  # Running for at least $linger seconds since it started.
  local left=$((started_at[$name] + ${linger:-0} - SECONDS))
  [ "$left" -le 0 ] || sleep "$left"
  stop_child "$case_pid"
  rel_wait_exit "$case_pid" 30
  if [ "$rel_rc" = 124 ]; then
    # Where it hangs, so a failure here can be understood from the log alone.
    echo "$name: still running 30 s after SIGTERM; its stderr and threads:" >&2
    cat "$work/$name/stderr" >&2
    if command -v gdb >/dev/null; then
      timeout 60 gdb -p "$case_pid" -batch -ex 'thread apply all bt' 2>&1 | grep -E '^(#|Thread)' >&2
    fi
    stop_child "$case_pid" KILL
    wait "$case_pid" 2>/dev/null
  fi
  [ "$rel_rc" = 0 ] || fail "$name: exit code $rel_rc after SIGTERM"
}

# The program's lines on standard error: COUNT of them, holding the texts.
expect_lines() {  # NAME COUNT TEXT...
  local name=$1 count=$2 line
  shift 2
  line=$(grep -c -F "TARNWICK: " "$work/$name/stderr")
  [ "$line" = "$count" ] || { fail "$name: $line lines from the program, expected $count"; cat "$work/$name/stderr" >&2; }
  for text in "$@"; do expect_stderr "$name" "$text"; done
}

# Kind, mode, owner, size and bytes of everything under a folder (never opening a FIFO or device).
tree_state() {
  find "$1" -printf '%p %y %m %u %s %T@ %l\n' | sort
  find "$1" -type f -size -1000k -print0 | sort -z | xargs -0 -r md5sum
}

expect_stderr() {  # NAME TEXT
  grep -q -F -- "$2" "$work/$1/stderr" || { fail "$1: standard error does not say '$2'"; cat "$work/$1/stderr" >&2; }
}

expect_stored() {  # NAME KEY VALUE
  local got
  got=$(rel_stored "$(store_of "$1")" "$2")
  [ "$got" = "$3" ] || fail "$1: $2 is '$got', expected '$3'"
}

# A store file as the format reads it: every line a comment, blank, or key=value.
expect_readable() {
  local bad
  bad=$(LC_ALL=C grep -a -v -E '^(#.*|[[:space:]]*|\\?[^=#;]+=.*)$' "$(store_of "$1")" | head -n3)
  [ -z "$bad" ] || fail "$1: the store file has unreadable lines: $bad"
}

backups_of() { find "$work/$1/config/TARNWICK" -maxdepth 1 -name "$1.conf.bad*" 2>/dev/null; }

# A file with lines that cannot be read: those are skipped and named, every other setting is used
# (bytes that are not UTF-8 as they were), and the file is copied byte for byte before it is saved over.
check_damaged() {  # NAME LINE-NUMBER
  local name=$1 original=$work/$1.original backup failures=$failed_checks
  cp "$(store_of "$name")" "$original"
  run_and_close "$name" || return
  backup=$(backups_of "$name")
  if [ "$backup" != "$(store_of "$name").bad" ]; then
    fail "$name: expected one copy $name.conf.bad, found: $backup"
  elif ! cmp -s "$backup" "$original"; then
    fail "$name: the copy of the damaged file differs from it"
  fi
  expect_stderr "$name" "$(store_of "$name"): skipped line"
  [ -z "$2" ] || expect_stderr "$name" " $2 (has no '=')"
  expect_stored "$name" MAIN-Left 5000
  expect_stored "$name" AlwaysOnTopTimer_TICKBOX 0
  expect_stored "$name" QT_FILENAME_TEXTBOX "$(printf 'n\xe9ud \xff')"
  expect_readable "$name"
  [ "$failed_checks" != "$failures" ] || rel_pass "$name"
}

# 6. Another user plants a store with Auto Start and a command line of theirs in a folder of theirs
# that everyone can write: the program reads none of it and runs nothing, for the whole countdown.
# Started before every other case and checked after them, so its fourteen seconds overlap theirs.
name=SF-PLANTED
if [ "$(id -u)" = 0 ] && setpriv --reuid=65534 --regid=65534 --clear-groups true 2>/dev/null; then
  mkdir -p "$work/$name/config/TARNWICK"
  chmod 711 "$work" "$work/$name" "$work/$name/config"
  chown 65534:65534 "$work/$name/config/TARNWICK"
  chmod 777 "$work/$name/config/TARNWICK"
  mkdir "$work/$name/planter" && chmod 777 "$work/$name/planter"
  setpriv --reuid=65534 --regid=65534 --clear-groups sh -c 'printf "%s\n" AUTOSTART_TIME_TICKBOX=1 \
    AUTORUN_QT_TICKBOX=1 "QT_FULL_RUN_CMD_TEXTBOX=/usr/bin/touch $2" QT_FILENAME_TEXTBOX=touch >"$1"' \
    _ "$(store_of $name)" "$work/$name/planter/ran"
  before_of[$name]=$(tree_state "$work/$name/config")
  start_case $name
  early_pid[$name]=$case_pid
fi

# 1. A stray line among good ones, and a value in Latin-1 (the reader's other cases, cut-off lines
# and random bytes, are the store tests' table).
seed SF-STRAY 'MAIN-Left=5000\nsomeone typed this\nQT_FILENAME_TEXTBOX=n\xe9ud \xff\nAlwaysOnTopTimer_TICKBOX=0\n'
check_damaged SF-STRAY 2

# 5. Not the user's own, or not a regular file: defaults, one line saying where, why and how to
# fix it, one that nothing keeps a second copy out, and nothing there written, made, replaced or
# given another mode (no lock file either).
#   refused NAME 'TEXT ...' (texts the line must hold; $store stands for the store path)
refused() {
  local name=$1 texts=$2 before failures=$failed_checks
  before=${before_of[$name]:-$(tree_state "$work/$name/config")}
  run_and_close "$name" || return
  [ "$(tree_state "$work/$name/config")" = "$before" ] || fail "$name: the refused store was changed"
  local store
  store=$(store_of "$name")
  eval "set -- $texts"
  expect_lines "$name" 2 "not using the settings in $store: " "$@" "read as their defaults and nothing is written there" \
    "cannot guard the settings section \"$name\" against a second copy (its settings are refused); running anyway"
  [ "$failed_checks" != "$failures" ] || rel_pass "$name"
}
# The store file's own checks (a folder, a device, a file too large, an open folder) are the store
# tests' table; here a FIFO shows the real program does not hang on one.
name=SF-FIFO
mkdir -p "$work/$name/config/TARNWICK" && chmod 700 "$work/$name/config/TARNWICK"
mkfifo "$(store_of $name)"
refused $name '"$store is a FIFO, not a regular file"'

# 6. (Started first, above: it must run through the whole countdown.)
name=SF-PLANTED
if [ -n "${early_pid[$name]:-}" ]; then
  linger=14 refused $name '"$(dirname "$store") belongs to another user (uid 65534)"'
  [ ! -e "$work/$name/planter/ran" ] || fail "$name: the planted command line ran"
  chmod 700 "$work"
else
  echo "SKIP: $name: playing a second user needs root and setpriv"
fi

# 7. A file-size limit smaller than the file the unload writes: each save fails and says so, the old
# file stays whole, nothing but the section's lock file is left beside it, and the program ends
# normally (not by SIGXFSZ).
name=SF-ULIMIT
seed $name "MAIN-Left=3000\nCLI_FULL_RUN_CMD_TEXTBOX=/opt/node/cli $(head -c 7950 /dev/zero | tr '\0' x)\n"
cp "$(store_of $name)" "$work/$name.original"
failures=$failed_checks
if run_and_close $name bash -c 'ulimit -f 8 && exec "$@"' _; then
  cmp -s "$(store_of $name)" "$work/$name.original" || fail "$name: the file changed under the size limit"
  expect_stderr $name "could not save MAIN-Left"
  expect_stderr $name "File too large"
  left=$(ls -A "$work/$name/config/TARNWICK" | tr '\n' ' ')
  [ "$left" = "$name.conf $name.lock " ] || fail "$name: the folder holds more than the file and its lock:" $left
  [ "$failed_checks" != "$failures" ] || rel_pass $name
fi

# 8. A read-only folder. Root passes permission checks, so the program runs without the two
# capabilities that let it; where they cannot be dropped, the case is skipped and says so.
name=SF-READONLY
seed $name 'MAIN-Left=3000\nAlwaysOnTopTimer_TICKBOX=0\n'
chmod 500 "$work/$name/config/TARNWICK"
cp "$(store_of $name)" "$work/$name.original"
wrapper=()
if [ "$(id -u)" = 0 ]; then
  if setpriv --bounding-set=-dac_override,-dac_read_search true 2>/dev/null; then
    wrapper=(setpriv --bounding-set=-dac_override,-dac_read_search)
  else
    echo "SKIP: $name: running as root and the permission-bypassing capabilities cannot be dropped"
    name=
  fi
fi
if [ -n "$name" ] && run_and_close $name "${wrapper[@]}"; then
  cmp -s "$(store_of $name)" "$work/$name.original" || fail "$name: the file in a read-only folder changed"
  expect_stderr $name "could not save MAIN-Left"
  expect_stderr $name "the folder cannot be written"
  rel_pass $name
fi
chmod 700 "$work/SF-READONLY/config/TARNWICK"

# 9. A second copy of one section, started while the first runs, ends at once with status 2 and one
# line naming the section: no window, no store write, nothing launched. The store it finds has Auto
# Start ticked by a hand edit made after the first copy loaded, so a second copy that went on
# would start the command line. A killed first copy leaves no lock behind: the next one starts.
name=SF-SECOND
seed $name 'MAIN-Left=3000\n'
start_case $name
first=$case_pid
failures=$failed_checks
if [ -z "$(rel_wait_window $name 30)" ]; then
  fail "$name: the first copy's window did not appear"
else
  printf '%s\n' MAIN-Left=3000 AUTOSTART_TIME_TICKBOX=1 AUTORUN_QT_TICKBOX=1 QT_FILENAME_TEXTBOX=touch \
    "QT_FULL_RUN_CMD_TEXTBOX=/usr/bin/touch $work/$name/ran" >"$(store_of $name)"
  cp "$(store_of $name)" "$work/$name.original"
  XDG_CONFIG_HOME=$work/$name/config "$work/$name/$name" 2>"$work/$name/second" &
  second=$!
  track "$second"
  rel_wait_exit "$second" 30
  [ "$rel_rc" = 2 ] || fail "$name: the second copy's exit code is $rel_rc, expected 2"
  [ "$(grep -c . "$work/$name/second")" = 1 ] &&
    grep -q -F "TARNWICK: another copy of the program runs under the settings section \"$name\"" "$work/$name/second" ||
    { fail "$name: the second copy did not say one line naming the section"; cat "$work/$name/second" >&2; }
  [ "$(rel_count_windows $name)" = 1 ] || fail "$name: the second copy showed a window"
  cmp -s "$(store_of $name)" "$work/$name.original" || fail "$name: the second copy changed the store"
  [ ! -e "$work/$name/ran" ] || fail "$name: the second copy launched the command line"
  stop_child "$first" KILL
  { rel_wait_exit "$first" 30; } 2>/dev/null  # the shell's "Killed" is no finding
  run_and_close $name || true
  [ ! -e "$work/$name/ran" ] || fail "$name: the command line ran"
fi
[ "$failed_checks" != "$failures" ] || rel_pass $name

# 10. Two sections in one config folder run side by side and close at the same moment: both save
# everything, neither guard refuses the other, and the folder holds their files and lock files.
name=SF-SIDE
side=$work/$name/config
mkdir -p "$work/$name"
pids=()
for section in SF-SIDE-A SF-SIDE-B; do
  mkdir -p "$work/$section"
  ln -sf "$bin/TARNWICK" "$work/$section/$section"
  XDG_CONFIG_HOME=$side "$work/$section/$section" 2>>"$work/$name/stderr" &
  pids+=($!)
  track $!
done
failures=$failed_checks
both_windows() { [ -n "$(rel_wait_window SF-SIDE-A 1)" ] && [ -n "$(rel_wait_window SF-SIDE-B 1)" ]; }
if ! wait_for 30 both_windows; then
  fail "$name: the two windows did not appear"
  cat "$work/$name/stderr" >&2
fi
for pid in "${pids[@]}"; do stop_child "$pid"; done
for pid in "${pids[@]}"; do
  rel_wait_exit "$pid" 30
  [ "$rel_rc" = 0 ] || fail "$name: a copy's exit code is $rel_rc"
done
for section in SF-SIDE-A SF-SIDE-B; do
  for key in MAIN-Left AlwaysOnTopTimer_TICKBOX LAST_RUN_TEXTBOX; do
    [ "$(rel_stored "$side/TARNWICK/$section.conf" $key)" != "<absent>" ] || fail "$name: $section lost $key"
  done
done
left=$(ls -A "$side/TARNWICK" | tr '\n' ' ')
[ "$left" = "SF-SIDE-A.conf SF-SIDE-A.lock SF-SIDE-B.conf SF-SIDE-B.lock " ] || fail "$name: the folder holds:" $left
if grep -q -F "TARNWICK: " "$work/$name/stderr"; then fail "$name: a copy complained"; cat "$work/$name/stderr" >&2; fi
[ "$failed_checks" != "$failures" ] || rel_pass $name

# 11. Another user holds locks on everything of the store they can open (the TARNWICK folder, which
# others may read, and the config root): every save still goes through at once.
name=SF-FOREIGN-LOCK
if [ "$(id -u)" = 0 ] && setpriv --reuid=65534 --regid=65534 --clear-groups true 2>/dev/null; then
  seed $name 'MAIN-Left=3000\n'
  chmod 711 "$work" "$work/$name"
  chmod 755 "$work/$name/config" "$work/$name/config/TARNWICK"
  setpriv --reuid=65534 --regid=65534 --clear-groups bash -c \
    'exec 3<"$1" 4<"$2" && flock -x 3 && flock -x 4 && exec sleep 120' _ "$work/$name/config/TARNWICK" \
    "$work/$name/config" &
  holder=$!
  track $holder
  held() { ! flock -n -x "$work/$name/config/TARNWICK" true; }
  failures=$failed_checks
  if ! wait_for 10 held; then
    fail "$name: the other user's lock was not taken"
  elif run_and_close $name; then
    for key in MAIN-Top AlwaysOnTopTimer_TICKBOX LAST_RUN_TEXTBOX; do
      [ "$(rel_stored "$(store_of $name)" $key)" != "<absent>" ] || fail "$name: $key was not saved"
    done
    if grep -q -F "could not save" "$work/$name/stderr"; then fail "$name: a save failed"; cat "$work/$name/stderr" >&2; fi
  fi
  stop_child "$holder"
  chmod 700 "$work"
  [ "$failed_checks" != "$failures" ] || rel_pass $name
else
  echo "SKIP: SF-FOREIGN-LOCK: playing a second user needs root and setpriv"
fi

# 12. The TARNWICK folder is a link to a link that another user's folder holds, and that leads to
# the user's own dotfiles: the store is refused, nothing is made or locked there, the folder's mode
# and the dotfile stay as they were.
name=SF-LINK-CHAIN
if [ "$(id -u)" = 0 ]; then
  mkdir -p "$work/$name/config" "$work/$name/foreign" "$work/$name/dotfiles"
  printf 'export PATH=/usr/bin\n' >"$work/$name/dotfiles/profile"
  chmod 755 "$work/$name/dotfiles"
  ln -s "$work/$name/dotfiles" "$work/$name/foreign/hop"
  ln -s "$work/$name/foreign/hop" "$work/$name/config/TARNWICK"
  chown 65534:65534 "$work/$name/foreign"
  before=$(tree_state "$work/$name/dotfiles")
  failures=$failed_checks
  if run_and_close $name; then
    [ "$(tree_state "$work/$name/dotfiles")" = "$before" ] || fail "$name: the dotfiles folder was changed"
    expect_lines $name 2 "the link $work/$name/foreign/hop lies where someone else can change it" \
      "cannot guard the settings section \"$name\" against a second copy"
  fi
  [ "$failed_checks" != "$failures" ] || rel_pass $name
else
  echo "SKIP: SF-LINK-CHAIN: another user's folder needs root"
fi

if [ "$failed_checks" != 0 ]; then
  echo "FAIL: $failed_checks check(s) failed" >&2
  exit 1
fi
echo PASS
