#!/usr/bin/env bash
# The real program under store faults, on a private X server: random bytes, a file cut off, a folder
# where the file should be, a read-only folder, and two copies closing at once. It must start, read
# defaults where it cannot read, keep a copy of what it could not parse, say what it could not
# write, and end with exit code 0.
#   store_faults_test.sh BIN_DIR
set -uo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/tarnwick-store-faults.XXXXXX)
# shellcheck source=real_program_lib.sh
source "$here/real_program_lib.sh"
trap rel_cleanup EXIT
rel_start_x nowm

# Starts the program as NAME with its own XDG_CONFIG_HOME (the case folder), optionally through a
# wrapper command; sets case_pid. Standard error goes to the case folder.
start_case() {
  local name=$1
  shift
  mkdir -p "$work/$name"
  ln -sf "$bin/TARNWICK" "$work/$name/$name"
  XDG_CONFIG_HOME=$work/$name/config "$@" "$work/$name/$name" 2>>"$work/$name/stderr" &
  case_pid=$!
  rel_pids+=("$case_pid")
}

store_of() { echo "$work/$1/config/TARNWICK/$1.conf"; }
seed() {
  mkdir -p "$work/$1/config/TARNWICK"
  chmod 700 "$work/$1/config/TARNWICK"
  printf '%b' "$2" >"$(store_of "$1")"
}

# Opens, waits for the window, closes by SIGTERM (the close box's way), checks exit code 0.
run_and_close() {
  local name=$1
  shift
  start_case "$name" "$@"
  if [ -z "$(rel_wait_window "$name" 30)" ]; then
    rel_fail "$name: no window appeared"
    cat "$work/$name/stderr" >&2
    return 1
  fi
  kill -TERM "$case_pid"
  rel_wait_exit "$case_pid" 30
  [ "$rel_rc" = 0 ] || rel_fail "$name: exit code $rel_rc after SIGTERM"
}

expect_stderr() {  # NAME TEXT
  grep -q -F -- "$2" "$work/$1/stderr" || { rel_fail "$1: standard error does not say '$2'"; cat "$work/$1/stderr" >&2; }
}

expect_stored() {  # NAME KEY VALUE
  local got
  got=$(rel_stored "$(store_of "$1")" "$2")
  [ "$got" = "$3" ] || rel_fail "$1: $2 is '$got', expected '$3'"
}

# A store file as the format reads it: every line a comment, blank, or key=value.
expect_readable() {
  local bad
  bad=$(grep -a -v -E '^(#.*|[[:space:]]*|\\?[^=#;]+=.*)$' "$(store_of "$1")" | head -n3)
  [ -z "$bad" ] || rel_fail "$1: the store file has unreadable lines: $bad"
}

backups_of() { find "$work/$1/config/TARNWICK" -maxdepth 1 -name "$1.conf.bad-*" -type f 2>/dev/null; }

# A damaged file: read as defaults (nothing half-read), copied aside byte for byte, then replaced.
check_damaged() {
  local name=$1 original=$work/$1.original backup
  cp "$(store_of "$name")" "$original"
  run_and_close "$name" || return
  backup=$(backups_of "$name")
  if [ "$(printf '%s\n' "$backup" | grep -c .)" != 1 ]; then
    rel_fail "$name: expected one $name.conf.bad-* copy, found: $backup"
  elif ! cmp -s "$backup" "$original"; then
    rel_fail "$name: the copy of the damaged file differs from it"
  fi
  expect_stderr "$name" "cannot be read"
  # Defaults, not the values the damaged file began with.
  expect_stored "$name" MAIN-Left 1000
  expect_stored "$name" AlwaysOnTopTimer_TICKBOX 1
  expect_stored "$name" LAST_RUN_TEXTBOX '!!! LAST RUN !!!'
  expect_readable "$name"
  rel_pass "$name"
}

# 1. Random bytes after two good lines.
seed SF-RANDOM 'MAIN-Left=5000\nAlwaysOnTopTimer_TICKBOX=0\n'
head -c 4096 /dev/urandom >>"$(store_of SF-RANDOM)"
printf '\xff\xfe\x00junk' >>"$(store_of SF-RANDOM)"
check_damaged SF-RANDOM

# 2. Cut off in the middle of a key: the last line has no '='.
seed SF-CUT-KEY 'MAIN-Left=5000\nAlwaysOnTopTimer_TICKBOX=0\nLAST_RUN_TEX'
check_damaged SF-CUT-KEY

# 3. Cut off in the middle of a value: the last line reads as it is, nothing is copied aside.
name=SF-CUT-VALUE
seed $name 'MAIN-Left=3000\nAlwaysOnTopTimer_TICKBOX=0\nLAST_RUN_TEXTBOX=!!! SUC'
if run_and_close $name; then
  [ -z "$(backups_of $name)" ] || rel_fail "$name: a readable file was copied aside"
  expect_stored $name MAIN-Left 3000
  expect_stored $name AlwaysOnTopTimer_TICKBOX 0
  expect_stored $name LAST_RUN_TEXTBOX '!!! SUC'
  expect_readable $name
  rel_pass $name
fi

# 4. A folder where the file should be: defaults, every failed save said, the folder left alone.
name=SF-FOLDER
mkdir -p "$(store_of $name)/inside"
if run_and_close $name; then
  [ -d "$(store_of $name)/inside" ] || rel_fail "$name: the folder in the file's place was touched"
  expect_stderr $name "a folder stands where the file should be"
  expect_stderr $name "could not save MAIN-Left"
  expect_stderr $name "could not save LAST_RUN_TEXTBOX"
  rel_pass $name
fi

# 5. A read-only folder. Root passes permission checks, so the program runs without the two
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
  cmp -s "$(store_of $name)" "$work/$name.original" || rel_fail "$name: the file in a read-only folder changed"
  expect_stderr $name "could not save MAIN-Left"
  expect_stderr $name "the folder cannot be written"
  rel_pass $name
fi
chmod 700 "$work/SF-READONLY/config/TARNWICK"

# 6. Two copies under one name close at the same moment, three times: the file stays readable and
# holds every key either unload writes, and the keys neither of them touches.
name=SF-TWIN
seed $name 'QT_FILENAME_TEXTBOX=keep-me\nCLI_FULL_RUN_CMD_TEXTBOX=/opt/node/bin/node-cli -datadir=/d stop\nMAIN-Left=3000\n'
two_windows() { [ "$(rel_count_windows $name)" -ge 2 ]; }
for round in 1 2 3; do
  start_case $name; first=$case_pid
  start_case $name; second=$case_pid
  if ! rel_wait_until 30 two_windows; then
    rel_fail "$name round $round: the two windows did not appear"
    cat "$work/$name/stderr" >&2
    break
  fi
  kill -TERM "$first" "$second"
  rel_wait_exit "$first" 30; [ "$rel_rc" = 0 ] || rel_fail "$name round $round: first copy exit code $rel_rc"
  rel_wait_exit "$second" 30; [ "$rel_rc" = 0 ] || rel_fail "$name round $round: second copy exit code $rel_rc"
done
for key in MAIN-Left MAIN-Top AlwaysOnTopTimer_TICKBOX AUTOSTART_TIME_TICKBOX AUTOCLOSE_TIME_TICKBOX LAST_RUN_TEXTBOX; do
  [ "$(rel_stored "$(store_of $name)" $key)" != "<absent>" ] || rel_fail "$name: $key was lost"
done
expect_stored $name QT_FILENAME_TEXTBOX keep-me
expect_stored $name CLI_FULL_RUN_CMD_TEXTBOX '/opt/node/bin/node-cli -datadir=/d stop'
expect_stored $name MAIN-Left 3000
expect_readable $name
[ -z "$(backups_of $name)" ] || rel_fail "$name: a copy was set aside, so a writer saw a damaged file"
if grep -q -F "could not save" "$work/$name/stderr"; then rel_fail "$name: a save failed"; cat "$work/$name/stderr" >&2; fi
[ "$rel_failures" = 0 ] && rel_pass $name

if [ "$rel_failures" != 0 ]; then
  echo "FAIL: $rel_failures check(s) failed" >&2
  exit 1
fi
echo PASS
