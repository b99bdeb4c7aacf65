# The settings of a whole run of the stand-ins (scripts/run-settings.conf) with its folders filled
# in, as KEY=VALUE lines. Sourced.
#   run_settings BIN_DIR STATE_DIR [SEPARATOR]      SEPARATOR "/" (default) or "\" for Windows

run_settings() {
  local bin=$1 state=$2 sep=${3:-/} line
  while IFS= read -r line; do
    case $line in '#'* | '') continue ;; esac
    line=${line//"{bin}/"/"$bin$sep"}
    line=${line//"{bin}"/"$bin"}
    printf '%s\n' "${line//"{state}"/"$state"}"
  done <"$(dirname "${BASH_SOURCE[0]}")/../run-settings.conf"
}
