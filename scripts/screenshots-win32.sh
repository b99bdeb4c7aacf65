#!/usr/bin/env bash
# The Windows screenshots in docs/ (docs/screenshot-*-win32.png): the Windows program built and
# tested under Wine as scripts/test-windows.sh does, then its four windows photographed at 144 DPI.
#   scripts/screenshots-win32.sh [BUILD_DIR]
set -euo pipefail
exec bash "$(dirname "$0")/test-windows.sh" --screenshots "$@"
