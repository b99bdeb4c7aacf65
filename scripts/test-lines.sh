#!/usr/bin/env bash
# How large the tests are beside the code, in lines that are neither blank nor only a comment:
# C/C++ tests (tests/, fuzz/) against the code (src/, tools/, bench/), and the shell tests (every
# *.sh under tests/, and the scripts only tests use).
#   scripts/test-lines.sh
set -euo pipefail
cd "$(dirname "$0")/.."
count() {  # PATTERN-OF-A-COMMENT-LINE FILE...
  local comment=$1
  shift
  [ $# -gt 0 ] || { echo 0; return; }
  cat -- "$@" | grep -c -v -E "^[[:space:]]*(${comment}.*)?\$" || true
}
mapfile -t code < <(git ls-files src tools bench | grep -E '\.(cpp|h)$')
mapfile -t tests < <(git ls-files tests fuzz | grep -E '\.(cpp|h)$')
mapfile -t shell < <(git ls-files tests | grep -E '\.sh$'; printf '%s\n' scripts/test-deb.sh scripts/test-windows.sh \
  scripts/lib/window_test.sh)
c=$(count '//' "${code[@]}")
t=$(count '//' "${tests[@]}")
s=$(count '#' "${shell[@]}")
echo "code (src/, tools/, bench/):   $c lines"
echo "C/C++ tests (tests/, fuzz/):  $t lines, $((100 * t / c)) % of the code"
echo "shell tests:                  $s lines"
