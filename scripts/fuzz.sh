#!/usr/bin/env bash
# Builds each fuzzer with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) into
# build-fuzz/ and runs it for a bounded time on a copy of its seed corpus; fails on any crash.
#   FUZZ_SECONDS=N (default 30 each)   FUZZ_ONLY=name (one fuzzer)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=$here/build-fuzz
seconds=${FUZZ_SECONDS:-30}
cxx=${FUZZ_CXX:-clang++}
mkdir -p "$out"
flags=(-std=c++20 -O1 -g -fPIC -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined
       -fno-sanitize-recover=all -Wall -Wextra -Werror -I"$here/src")
read -r -a glib_flags <<<"$(pkg-config --cflags --libs glib-2.0)"

build() {  # NAME SOURCES... -- EXTRA_FLAGS...
  local name=$1
  shift
  local sources=()
  while [ "$1" != -- ]; do sources+=("$1"); shift; done
  shift
  echo "== building $name"
  "$cxx" "${flags[@]}" "${sources[@]}" "$@" -o "$out/$name"
}

build decode_fuzzer fuzz/decode_fuzzer.cpp src/settings/store.cpp --
build store_reader_fuzzer fuzz/store_reader_fuzzer.cpp src/settings/conf_format.cpp --
build command_line_fuzzer fuzz/command_line_fuzzer.cpp src/process/command_line.cpp -- "${glib_flags[@]}"

failed=0
for name in decode store_reader command_line; do
  [ -z "${FUZZ_ONLY:-}" ] || [ "$FUZZ_ONLY" = "$name" ] || continue
  # The repository's seeds stay as they are: the run grows a throw-away copy.
  corpus=$(mktemp -d "$out/corpus-$name.XXXXXX")
  cp "$here/fuzz/corpus/$name/." "$corpus/" -R
  mkdir -p "$out/crashes-$name"
  echo "== fuzzing $name for ${seconds}s"
  if ! "$out/${name}_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$out/crashes-$name/" "$corpus" >"$out/$name.log" 2>&1; then
    echo "FAIL: $name found a crash; the input is in $out/crashes-$name/" >&2
    tail -n 40 "$out/$name.log" >&2
    failed=1
  fi
  grep -E '^stat::number_of_executed_units|^Done ' "$out/$name.log" || true
  rm -rf "$corpus"
done
exit "$failed"
