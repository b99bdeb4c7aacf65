#!/usr/bin/env bash
# Every test on a fresh Debian 12 machine, once: installs what is needed, checks the formatting,
# builds the tests under AddressSanitizer and UndefinedBehaviorSanitizer with warnings as errors and
# runs them; meanwhile, at a lower priority, builds and checks the Debian package (release preset)
# and cross-builds the Windows program (Release) and tests it and its zip under Wine, with the three
# fuzzers running at once beside the Wine tests. It writes nothing into the work tree but build/,
# leaves nothing in /tmp, and nothing in the machine's home folders.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
. scripts/lib/children.sh
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

phase "build under ASan+UBSan, warnings as errors"
bash scripts/build.sh asan

# The sanitized tests wait on real programs and clocks most of the time; the other builds fill
# that time at a lower priority, so the waiting tests keep their margins.
phase "the tests, beside the package, the Windows program and the fuzzers"
(nice -n 15 bash scripts/test-deb.sh >"$scratch/deb.log" 2>&1) &
deb=$!
(
  nice -n 10 bash scripts/test-windows.sh >"$scratch/windows.log" 2>&1 &
  windows=$!
  # The fuzzers run while the Wine tests wait on Wine.
  while child_running "$windows" && ! grep -q '^=== the Wine prefix' "$scratch/windows.log"; do sleep 2; done
  fuzz=0
  nice -n 15 bash scripts/fuzz.sh >"$scratch/fuzz.log" 2>&1 || fuzz=$?
  wait "$windows" || exit 1
  exit "$fuzz"
) &
windows_and_fuzz=$!

status=0
ctest --preset asan -j6 || status=1
phase "the tests are done; waiting for the package, the Windows program and the fuzzers"
deb_status=0
wait "$deb" || deb_status=$?
cat "$scratch/deb.log"
[ "$deb_status" = 0 ] || { echo "FAIL: the Debian package" >&2; status=1; }
wf_status=0
wait "$windows_and_fuzz" || wf_status=$?
cat "$scratch/windows.log"
cat "$scratch/fuzz.log" 2>/dev/null || true
[ "$wf_status" = 0 ] || { echo "FAIL: the Windows program under Wine, or the fuzzers" >&2; status=1; }

[ "$status" = 0 ] || { phase "FAILED"; exit 1; }
phase "all tests passed"
