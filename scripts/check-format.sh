#!/usr/bin/env bash
# Fails, showing the diff, when a C++ file in the tree is not as clang-format (14) and .clang-format
# would write it. Fix with: clang-format-14 -i <file>
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
format=${CLANG_FORMAT:-clang-format-14}
command -v "$format" >/dev/null || { echo "check-format: $format is missing (apt-get install clang-format-14)" >&2; exit 2; }
status=0
while IFS= read -r -d '' file; do
  if ! "$format" --style=file "$file" | diff -u --label "$file" --label "$file (clang-format)" "$file" -; then
    status=1
  fi
done < <(find src tests tools bench fuzz \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z)
if [ "$status" -ne 0 ]; then
  echo "check-format: the files above differ from .clang-format's style (clang-format-14 -i FILE fixes them)" >&2
fi
exit "$status"
