#!/usr/bin/env bash
# Cross-builds for Windows with mingw-w64 through the CMake presets, one per width, each
# with both programs, the stand-in ZOVAK_OX9162.DLL, the window's Qt DLLs and the
# installer: win32 (build-win32/bin) and win64-window (build-win64-window/bin), on Qt for
# Windows as DLLs that scripts/qt_windows.sh builds once per machine and width; and the
# GoogleTest suites of the stand-in, card access, the check and the window
# (build-*/tests-bin). The tests run under Wine: wine64 for the 64-bit programs, wine32
# for the 32-bit ones; the two widths' tests run side by side. A build prints its output
# only when it fails or warns; each width's test names what failed. Exits non-zero when
# anything failed.
set -euo pipefail
. "$(dirname "$0")/settings.sh"
cd "$ox_root"

build() {
    cmake --preset "$1" "${ox_launcher[@]}" && cmake --build --preset "$1" -j2
}

# Both widths are built first, then tested side by side: a width's tests keep about one
# core busy (Wine's trapped accesses queue for its server), so the two share the machine.
status=0
logs=()
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
done
# The 32-bit installer first, on its own: the 64-bit window test installs it beside its
# own installer, so it must be whole before the 64-bit tests begin.
tests=(
    "ctest --preset win32 -R ^windows_installer_package$; made=\$?
        ctest --preset win32 -j2 -E ^windows_installer_package$ -FS windows_installer &&
        exit \$made"
    "ctest --preset win64-window -j2")
pids=()
for k in 0 1; do
    log="$(mktemp)"
    logs+=("$log")
    if [ "$k" = 1 ]; then
        # Until the 32-bit installer is made (about 20 s), or its test has ended.
        while kill -0 "${pids[0]}" 2>/dev/null &&
            ! grep -qE "Test +#[0-9]+: windows_installer_package " "${logs[0]}"; do
            sleep 1
        done
    fi
    # The suites' windows show on a virtual display, one for each width.
    bash scripts/virtual_display.sh bash -c "${tests[$k]}" >"$log" 2>&1 &
    pids+=($!)
done
for k in 0 1; do
    width=$((32 * (k + 1)))
    # The test's own lines: its figures, and what failed if anything did.
    if ! wait "${pids[$k]}"; then
        cat "${logs[$k]}" >&2
        echo "windows: the $width-bit test FAILED" >&2
        status=1
    else
        sed -n 's/^[0-9]*: \([0-9]*-bit: \)/\1/p' "${logs[$k]}"
    fi
    rm -f "${logs[$k]}"
done
exit $status
