#!/usr/bin/env bash
# The main job on a fresh Debian 12 machine: install what is needed, build, and show a whole run.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh"
bash "$here/scripts/build.sh" release
bash "$here/scripts/demo.sh" "$here/build/release"
