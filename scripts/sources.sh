#!/usr/bin/env bash
# Prints every C/C++ source of the tree, NUL-separated, leaving out the build
# directories (build*, whatever their preset or width).
set -euo pipefail
cd "$(dirname "$0")/.."
find . \( -path './build*' -o -path './.git' \) -prune -o -type f \
  \( -name '*.c' -o -name '*.cpp' -o -name '*.h' \) -print0
