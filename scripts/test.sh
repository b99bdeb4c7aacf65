#!/usr/bin/env bash
# Every test on a fresh Debian 12 machine: installs what is needed, builds, runs the tests, runs
# them again under AddressSanitizer and UndefinedBehaviorSanitizer, then the Windows build under Wine.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/install-deps.sh

echo "== build and test"
bash scripts/build.sh "$here/build" -DTARNWICK_TESTS=ON
ctest --test-dir "$here/build" --no-tests=error --output-on-failure -j2 --timeout 600

echo "== the same tests under AddressSanitizer and UndefinedBehaviorSanitizer"
bash scripts/build.sh "$here/build-asan" -DTARNWICK_TESTS=ON -DTARNWICK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$here/build-asan" --no-tests=error --output-on-failure -j2 --timeout 900 -LE long

if [ -f scripts/test-windows.sh ]; then
  echo "== the Windows program, cross-built and tested under Wine"
  bash scripts/test-windows.sh
fi
if [ -f scripts/fuzz.sh ]; then
  echo "== fuzzing, for a bounded time"
  bash scripts/fuzz.sh
fi
echo "== all tests passed"
