#!/usr/bin/env bash
# Screenshots of the four Qt windows for docs/: the program on a private Xvfb with openbox, the
# settings windows opened by clicks as a user would open them.
#   screenshots-qt.sh [BUILD_DIR]
set -u
bin=${1:-$(cd "$(dirname "$0")/.." && pwd)/build}/bin
docs=$(cd "$(dirname "$0")/.." && pwd)/docs
export XDG_CONFIG_HOME=$(mktemp -d)
export XDG_STATE_HOME=$XDG_CONFIG_HOME/state-home
. "$(dirname "$0")/lib/private_display.sh"
private_display_start 1280x800x24 wm || exit 1
"$bin/TARNWICK" & app=$!
main=$(xdotool search --sync --name 'TARNWICK - TARNWICK' | head -1)
sleep 1
# Settings button centre: (3480+607, 1200+187) twips in the client area.
xdotool mousemove --window "$main" 272 92 click 1
hub=$(xdotool search --sync --name 'TARNWICK - SETTINGS' | head -1); sleep 1
import -window "$hub" -frame "$docs/screenshot-hub-qt.png"
xdotool mousemove --window "$hub" 150 108 click 1
pc=$(xdotool search --sync --name 'PELLUM & CORVANT' | head -1); sleep 1
import -window root - | convert - -crop 444x284+67+67 +repage "$docs/screenshot-helpers-qt.png"
xdotool key --window "$pc" Escape; sleep 1
xdotool mousemove --window "$hub" 150 156 click 1
nd=$(xdotool search --sync --name 'QT / DAEMON / CLI' | head -1); sleep 1
import -window root - | convert - -crop 413x372+67+67 +repage "$docs/screenshot-node-qt.png"
xdotool key --window "$nd" Escape; sleep 0.5
xdotool key --window "$hub" Escape; sleep 0.5
stop_child "$app"; wait "$app"; echo "rc=$?"
private_display_stop
rm -rf "$XDG_CONFIG_HOME"
