#!/usr/bin/env bash
# Every test on a fresh Debian 12 machine, once: installs what is needed, checks the formatting,
# cross-builds the Windows program (Release) and tests it and its zip under Wine; meanwhile builds
# the tests under AddressSanitizer and UndefinedBehaviorSanitizer with warnings as errors and runs
# them, with the Debian package (release preset) built and checked and the three fuzzers run at
# once beside them. It writes nothing into the work tree but build/, leaves nothing in /tmp, and
# nothing in the machine's home folders.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/install-deps.sh

began=$(date +%s)
phase() { echo "== $* (at $(($(date +%s) - began)) s)"; }
# What the programs under test keep (journals, settings) goes here, never into a home folder.
scratch=$(mktemp -d /tmp/tarnwick-test.XXXXXX)
export XDG_STATE_HOME=$scratch/state XDG_CONFIG_HOME=$scratch/config XDG_CACHE_HOME=$scratch/cache
# Qt makes /tmp/runtime-$USER for itself without one.
export XDG_RUNTIME_DIR=$scratch/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
cleanup() {
  local p
  # Only our own background jobs that still run, asked of the job table, never a collected pid.
  for p in $(jobs -pr); do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

phase "formatting"
bash scripts/check-format.sh

# The Windows program first, at full priority: its build done, its Wine tests mostly wait on Wine,
# and the sanitized build fills that time at a lower priority. The package and the fuzzers are
# built and run beside the sanitized tests, which mostly wait on real programs and clocks; so every
# waiting test keeps its margins.
phase "the Windows program built and tested under Wine, beside the sanitized build"
(bash scripts/test-windows.sh >"$scratch/windows.log" 2>&1) &
windows=$!
nice -n 10 bash scripts/build.sh asan

phase "the tests under ASan+UBSan, beside the package and the fuzzers"
(nice -n 15 bash scripts/test-deb.sh >"$scratch/deb.log" 2>&1) &
deb=$!
(nice -n 15 bash scripts/fuzz.sh >"$scratch/fuzz.log" 2>&1) &
fuzz=$!
status=0
ctest --preset asan -j6 || status=1

phase "the tests are done; waiting for the package, the fuzzers and the Windows program"
for part in deb fuzz windows; do
  part_status=0
  wait "${!part}" || part_status=$?
  cat "$scratch/$part.log"
  [ "$part_status" = 0 ] || { echo "FAIL: $part" >&2; status=1; }
done

[ "$status" = 0 ] || { phase "FAILED"; exit 1; }
phase "all tests passed"
