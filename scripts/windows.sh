#!/usr/bin/env bash
# Cross-builds krv5316-check.exe and the stand-in ZOVAK_OX9162.DLL for 64-bit and
# 32-bit Windows with mingw-w64 (build-win64/bin, build-win32/bin) and runs the check
# on the stand-in under Wine: wine64 for the 64-bit programs, wine32 for the 32-bit
# ones. A build prints its output only when it fails or warns; each width's test
# names what failed. Exits non-zero when anything failed.
set -euo pipefail
cd "$(dirname "$0")/.."

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

status=0
for width in 64 32; do
    case $width in
    64) triple=x86_64-w64-mingw32 ;;
    32) triple=i686-w64-mingw32 ;;
    esac
    dir="build-win$width"
    log="$(mktemp)"
    if ! { cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
               -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" -DOX_MINGW_TRIPLE="$triple" \
               "${launcher[@]}" &&
           cmake --build "$dir" -j2; } >"$log" 2>&1; then
        cat "$log" >&2
        rm -f "$log"
        echo "windows: building for $width-bit Windows FAILED" >&2
        exit 1
    fi
    if grep -q 'warning:' "$log"; then
        cat "$log" >&2
        echo "windows: the $width-bit build has warnings" >&2
        status=1
    fi
    # The test's own lines: its figures, and what failed if anything did.
    if ! ctest --test-dir "$dir" --verbose >"$log" 2>&1; then
        cat "$log" >&2
        echo "windows: the $width-bit test FAILED" >&2
        status=1
    else
        sed -n 's/^[0-9]*: \([0-9]*-bit: \)/\1/p' "$log"
    fi
    rm -f "$log"
done
exit $status
