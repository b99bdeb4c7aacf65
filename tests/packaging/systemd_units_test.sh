#!/usr/bin/env bash
# The systemd units the project ships, as files: every service leaves the programs TARNWICK started
# running when it ends (KillMode=process, the last assignment in [Service] counting, as systemd
# reads it), and, where systemd-analyze is installed, every unit verifies without a message with
# the program linked where the unit looks for it.
#   systemd_units_test.sh UNIT_DIR PROGRAM
set -euo pipefail
units=$(cd "$1" && pwd) program=$2
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

services=("$units"/*.service)
[ -e "${services[0]}" ] || { echo "FAIL: no service in $units" >&2; exit 1; }
for unit in "${services[@]}"; do
  # Joins continued lines, drops comments, and prints the KillMode in force in [Service].
  mode=$(awk '
    { line = held $0; held = "" }
    sub(/\\$/, " ", line) { held = line; next }
    { sub(/^[ \t]+/, "", line) }
    line ~ /^[#;]/ || line == "" { next }
    line ~ /^\[/ { service = (line ~ /^\[Service\][ \t]*$/); next }
    service && line ~ /^KillMode[ \t]*=/ { sub(/^KillMode[ \t]*=[ \t]*/, "", line); sub(/[ \t]+$/, "", line); mode = line }
    END { print mode }' "$unit")
  [ "$mode" = process ] || fail "$(basename "$unit"): KillMode is '${mode:-control-group (the default)}', not 'process'"
done

if command -v systemd-analyze >/dev/null; then
  home=$(mktemp -d /tmp/tarnwick-units.XXXXXX)
  trap 'rm -rf "$home"' EXIT
  mkdir -p "$home/.local/bin" "$home/.config/systemd/user" "$home/runtime"
  chmod 700 "$home/runtime"
  ln -s "$program" "$home/.local/bin/TARNWICK-NIGHT"
  # A unit that names its User= is a system unit, and so is the timer of the same name; the others
  # are user units. A system unit's program is looked for where the package puts it.
  mkdir -p "$home/system"
  for unit in "$units"/*.service; do
    name=$(basename "$unit" .service)
    if grep -q '^User=' "$unit"; then
      sed "s|/usr/bin/TARNWICK|$program|" "$unit" >"$home/system/$name.service"
      [ ! -e "$units/$name.timer" ] || cp "$units/$name.timer" "$home/system/"
    else
      cp "$unit" "$home/.config/systemd/user/"
      [ ! -e "$units/$name.timer" ] || cp "$units/$name.timer" "$home/.config/systemd/user/"
    fi
  done
  # Any message fails: systemd only warns of a setting it cannot read, and then ignores it.
  if ! HOME=$home XDG_CONFIG_HOME=$home/.config XDG_RUNTIME_DIR=$home/runtime \
       systemd-analyze verify --user "$home"/.config/systemd/user/* >"$home/verify.log" 2>&1 ||
     [ -s "$home/verify.log" ]; then
    cat "$home/verify.log" >&2
    fail "systemd-analyze verify rejects the user units"
  fi
  if compgen -G "$home/system/*" >/dev/null &&
     { ! systemd-analyze verify "$home"/system/* >"$home/verify-system.log" 2>&1 || [ -s "$home/verify-system.log" ]; }; then
    cat "$home/verify-system.log" >&2
    fail "systemd-analyze verify rejects the system units"
  fi
else
  echo "systemd-analyze is not installed: the units are checked as files only"
fi
[ "$failed" = 0 ] || exit 1
echo PASS
