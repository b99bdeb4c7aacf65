#!/usr/bin/env bash
# Builds the fuzzers with the fuzz preset (clang, libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer;
# fuzz/CMakeLists.txt) into build/fuzz/ and runs the three at once, each for a bounded time on a copy
# of its seed corpus; fails on any crash.
#   FUZZ_SECONDS=N (default 30 each)   FUZZ_ONLY=name (one fuzzer)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=$here/build/fuzz
seconds=${FUZZ_SECONDS:-30}
bash "$here/scripts/build.sh" fuzz

# One fuzzer for `seconds` on a throw-away copy of its seeds (the repository's stay as they are).
fuzz_one() {
  local name=$1 corpus
  corpus=$(mktemp -d "$out/corpus-$name.XXXXXX")
  cp "$here/fuzz/corpus/$name/." "$corpus/" -R
  mkdir -p "$out/crashes-$name"
  local status=0
  "$out/bin/${name}_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$out/crashes-$name/" "$corpus" >"$out/$name.log" 2>&1 || status=$?
  rm -rf "$corpus"
  return "$status"
}

names=()
pids=()
for name in decode store_reader command_line; do
  [ -z "${FUZZ_ONLY:-}" ] || [ "$FUZZ_ONLY" = "$name" ] || continue
  echo "== fuzzing $name for ${seconds}s"
  fuzz_one "$name" &
  names+=("$name")
  pids+=($!)
done
failed=0
for i in "${!pids[@]}"; do
  name=${names[$i]}
  if ! wait "${pids[$i]}"; then
    echo "FAIL: $name found a crash; the input is in $out/crashes-$name/" >&2
    tail -n 40 "$out/$name.log" >&2
    failed=1
  fi
  grep -E '^stat::number_of_executed_units|^Done ' "$out/$name.log" | sed "s/^/$name: /" || true
done
exit "$failed"
