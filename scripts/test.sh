#!/usr/bin/env bash
# Every test on a fresh Debian 12 machine: installs what is needed, checks the formatting, builds
# and runs the tests (dev preset: warnings are errors), runs them again under AddressSanitizer and
# UndefinedBehaviorSanitizer, builds and checks the Debian package from the release preset, then the
# Windows program (Release) under Wine with its zip, then the fuzzers for a bounded time.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/install-deps.sh

echo "== formatting"
bash scripts/check-format.sh

echo "== build and test"
bash scripts/build.sh dev
ctest --preset dev

echo "== the same tests under AddressSanitizer and UndefinedBehaviorSanitizer"
bash scripts/build.sh asan
ctest --preset asan

echo "== the Debian package, built from the release preset"
bash scripts/test-deb.sh

echo "== the Windows program, cross-built as Release and tested under Wine, and its zip"
bash scripts/test-windows.sh

echo "== fuzzing, for a bounded time"
bash scripts/fuzz.sh
echo "== all tests passed"
