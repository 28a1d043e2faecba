#!/usr/bin/env bash
# Cross-compiles the card access library for 64-bit and 32-bit Windows with mingw-w64,
# so that code which only builds on Linux (or assumes a 64-bit window address) fails
# here. Quiet on success; on failure prints the build's output and exits non-zero.
set -euo pipefail
cd "$(dirname "$0")/.."

for triple in x86_64-w64-mingw32 i686-w64-mingw32; do
    dir="build/$triple"
    log="$(mktemp)"
    if ! { cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
               -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" -DOX_MINGW_TRIPLE="$triple" \
               -DOX_BUILD_APP=OFF -DOX_BUILD_TESTS=OFF &&
           cmake --build "$dir" --target cardaccess; } >"$log" 2>&1; then
        cat "$log" >&2
        rm -f "$log"
        echo "cross_check: building cardaccess for $triple FAILED" >&2
        exit 1
    fi
    rm -f "$log"
done
echo "cross_check: cardaccess builds for 64-bit and 32-bit Windows"
