#!/usr/bin/env bash
# Cross-builds for Windows with mingw-w64 through the CMake presets, one per width, each
# with both programs, the stand-in ZOVAK_OX9162.DLL, the window's Qt DLLs and the
# installer: win32 (build-win32/bin) and win64-window (build-win64-window/bin), on Qt for
# Windows as DLLs that scripts/qt_windows.sh builds once per machine and width; and the
# GoogleTest suites of the stand-in, card access, the check and the window
# (build-*/tests-bin). The tests run under Wine: wine64 for the 64-bit programs, wine32
# for the 32-bit ones. A build prints its output only when it fails or warns; each
# width's test names what failed. Exits non-zero when anything failed.
set -euo pipefail
. "$(dirname "$0")/settings.sh"
cd "$ox_root"

build() {
    cmake --preset "$1" "${ox_launcher[@]}" && cmake --build --preset "$1" -j2
}

status=0
for width in 32 64; do
    preset=win32
    if [ "$width" = 64 ]; then
        preset=win64-window
    fi
    # Long only the first time on a machine; it prints its progress.
    scripts/qt_windows.sh "$width" >/dev/null
    built=0
    ox_quiet_build "windows: building for $width-bit Windows" build "$preset" || built=$?
    case $built in
    1) exit 1 ;;
    2) status=1 ;; # the tests still run, and the run fails
    esac
    # The test's own lines: its figures, and what failed if anything did. The suites'
    # windows show on a virtual display.
    log="$(mktemp)"
    if ! bash scripts/virtual_display.sh ctest --preset "$preset" -j2 >"$log" 2>&1; then
        cat "$log" >&2
        echo "windows: the $width-bit test FAILED" >&2
        status=1
    else
        sed -n 's/^[0-9]*: \([0-9]*-bit: \)/\1/p' "$log"
    fi
    rm -f "$log"
done
exit $status
