# The start of every script test of the real TARNWICK.exe under Wine: the build's folder as the
# first argument, a private prefix and display from the caller, quiet Wine. Sourced.
set -euo pipefail
bin=${1:?usage: $0 BIN_DIR}
: "${WINEPREFIX:?set WINEPREFIX to a temporary prefix}" "${DISPLAY:?set DISPLAY}"
export WINEDEBUG=${WINEDEBUG:--all}
wine=${WINE:-wine}
command -v xdotool >/dev/null || { echo "missing xdotool" >&2; exit 2; }
