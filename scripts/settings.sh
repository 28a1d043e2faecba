# shellcheck shell=bash
# What every script shares, in this one place; each sources it first:
#   . "$(dirname "$0")/settings.sh"
# It defines:
#   ox_root          the checkout
#   OX_CACHE_DIR     the machine's cache folder (exported): Qt for Windows, QEMU, the
#                    kernel, the Wine prefix template and the compiler's cache, shared by
#                    every clone; set it to move them all. The Windows presets read it
#                    through cmake/qt_windows_toolchain.cmake, with this default.
#   ox_launcher      CMake arguments that compile through ccache, for a configure command
#   ox_quiet_build   runs a build, showing its output only when it fails or warns

ox_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

ox_cache_default=/var/cache/ox_krv5316
export OX_CACHE_DIR="${OX_CACHE_DIR:-$ox_cache_default}"

# The compiler's cache serves every clone on the machine. Paths below the checkout
# reach the compiler relative to the build folder; the builds map that folder to "."
# (cmake/relocatable_paths.cmake), so the debug information of a cached object is right
# for any clone, and ccache hashes the mapped folder instead of the working folder.
export CCACHE_DIR="$OX_CACHE_DIR/ccache" CCACHE_BASEDIR="$ox_root"
# Qt's resource compiler writes each file's time into its output unless told a time:
# the clones' resources then compile alike.
export QT_RCC_SOURCE_DATE_OVERRIDE=1
ox_launcher=()
if command -v ccache >/dev/null; then
    ox_launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# Runs COMMAND (a program or a function) with its output kept aside. Prints nothing when
# it succeeds cleanly; its whole output and "WHAT FAILED" or "WHAT: warnings" on stderr
# otherwise. Status 0 clean, 1 failed, 2 built with warnings.
#   ox_quiet_build WHAT COMMAND [ARG...]
ox_quiet_build() {
    local what=$1 log status=0
    shift
    log="$(mktemp)"
    "$@" >"$log" 2>&1 || status=$?
    if [ "$status" -ne 0 ]; then
        cat "$log" >&2
        echo "$what FAILED" >&2
        status=1
    elif grep -q 'warning:' "$log"; then
        cat "$log" >&2
        echo "$what: warnings" >&2
        status=2
    fi
    rm -f "$log"
    return "$status"
}
