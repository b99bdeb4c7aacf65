#!/usr/bin/env bash
# Writes a settings file for a whole run of the stand-ins: Auto Start and Auto Close ticked, both
# helper tools, the wallet stand-in as the node, a ten-second catch-up. Each KEY=VALUE argument is
# written after the defaults, and a later line of the file wins, so it replaces that key's value.
#   seed-run-store.sh STORE_FILE BIN_DIR STATE_DIR [KEY=VALUE ...]
set -euo pipefail
store=$1 bin=$2 state=$3
shift 3
# The store is used only when its folders are writable by nobody else, whatever the caller's umask.
umask 077
mkdir -p "$(dirname "$store")"
chmod 700 "$(dirname "$store")"
{
  cat <<CONF
AUTOSTART_TIME_TICKBOX=1
AUTOCLOSE_TIME_TICKBOX=1
AlwaysOnTopTimer_TICKBOX=1
AUTORUN_QT_TICKBOX=1
AUTORUN_DAEMON_TICKBOX=0
PELLUM_ON_TICKBOX=1
PELLUM_OFF_TICKBOX=1
PELLUM_ON_LOCATION_TEXTBOX=$bin
PELLUM_OFF_LOCATION_TEXTBOX=$bin
CORVANT_LOCATION_TEXTBOX=$bin
CV_FILENAME_TEXTBOX=MF-CORVANT-STANDIN
PELLUM_ON_FULL_LOCATION_TEXTBOX=$bin/MF-PELLUM-ON
PELLUM_OFF_FULL_LOCATION_TEXTBOX=$bin/MF-PELLUM-OFF
CORVANT_FULL_LOCATION_TEXTBOX=$bin/MF-CORVANT-STANDIN --state $state --catch-up-ms 10000
QT_RUN_CMD_TEXTBOX=$bin/NODE-QT-STANDIN --state $state --shutdown-delay-ms 1500
QT_FULL_RUN_CMD_TEXTBOX=$bin/NODE-QT-STANDIN --state $state --shutdown-delay-ms 1500
QT_FILENAME_TEXTBOX=NODE-QT-STANDIN
DAEMOND_RUN_CMD_TEXTBOX=$bin/NODE-DAEMON-STANDIN --state $state --shutdown-delay-ms 1500
DAEMOND_FULL_RUN_CMD_TEXTBOX=$bin/NODE-DAEMON-STANDIN --state $state --shutdown-delay-ms 1500
DAEMOND_FILENAME_TEXTBOX=NODE-DAEMON-STANDIN
CLI_RUN_CMD_TEXTBOX=$bin/NODE-CLI-STANDIN --state $state stop
CLI_FULL_RUN_CMD_TEXTBOX=$bin/NODE-CLI-STANDIN --state $state stop
CLI_FILENAME_TEXTBOX=NODE-CLI-STANDIN
LAST_RUN_TEXTBOX=!!! LAST RUN !!!
CONF
  [ $# -eq 0 ] || printf '%s\n' "$@"
} >"$store"
