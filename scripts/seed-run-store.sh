#!/usr/bin/env bash
# Writes a settings file for a whole run of the stand-ins (scripts/run-settings.conf). Each
# KEY=VALUE argument is written after those, and a later line of the file wins, so it replaces
# that key's value.
#   seed-run-store.sh STORE_FILE BIN_DIR STATE_DIR [KEY=VALUE ...]
set -euo pipefail
store=$1 bin=$2 state=$3
shift 3
# The store is used only when its folders are writable by nobody else, whatever the caller's umask.
umask 077
mkdir -p "$(dirname "$store")"
chmod 700 "$(dirname "$store")"
. "$(dirname "$0")/lib/run_settings.sh"
{
  run_settings "$bin" "$state"
  [ $# -eq 0 ] || printf '%s\n' "$@"
} >"$store"
