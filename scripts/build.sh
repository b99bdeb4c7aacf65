#!/usr/bin/env bash
# Configures and builds one of the presets in CMakePresets.json (default: release) into build/<preset>/.
#   build.sh [PRESET] [-DVAR=VALUE ...]     e.g. build.sh dev;  build.sh release -DTARNWICK_TESTS=ON
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
preset=${1:-release}
shift || true
cd "$here"
cmake --preset "$preset" "$@" >/dev/null
cmake --build --preset "$preset"
