#!/usr/bin/env bash
# What the tests are worth, measured: applies each fault of scripts/mutants.tsv to a private copy
# of the tree (never this one), rebuilds what it touches (dev preset), runs the tests the row names
# and says whether they caught it. Ends "N of M caught"; exits 1 unless every mutant is caught.
# Not part of the test command (it takes up to half an hour on two cores).
#   scripts/mutants.sh [ID-SUBSTRING ...]    only the rows whose id holds one of them
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
exec python3 "$here/scripts/lib/mutants.py" "$here" "$@"
