#!/usr/bin/env bash
# Wine for the tests, of one width, in a prefix made at its first use:
#   wine_test.sh WIDTH PREFIX --prefix-only      makes the prefix alone (the scripts')
#   wine_test.sh WIDTH PREFIX PROGRAM --whole-run     runs every test of the program at
#                 once into PROGRAM's XML report; fails only when there is no report
#   wine_test.sh WIDTH PREFIX PROGRAM --gtest_filter=SUITE.NAME ...
#                 that test's result from the report: a Wine start for each test would
#                 cost more than most tests do
#   wine_test.sh WIDTH PREFIX PROGRAM [ARG...]        runs it (listing its tests)
# This is ctest's emulator for the test programs. wineboot takes 15 to 30 s and writes
# 0.6 to 1.3 GB, so it runs once per machine and Wine version, into a prefix kept
# beside the other caches; each prefix is a copy of that one whose system folders are
# hard links (Wine never writes there in place). Safe to run from several tests at
# once. The program's carriage returns are dropped, so its lines read as on Linux.
set -euo pipefail
# The machine's cache folder, which holds the prefix made once.
. "$(dirname "$0")/../../scripts/settings.sh"
width=$1 prefix=$2
shift 2
# Each test program in a prefix of its own, so with a Wine server of its own: programs
# run side by side would otherwise queue for one server at every trapped access.
if [ -n "${1-}" ] && [ "$1" != --prefix-only ]; then
  prefix="$prefix/$(basename "$1" .exe)"
fi
# No .NET or browser engine: the prefix needs nothing that would be fetched.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ "$width" = 64 ]; then
  export WINEARCH=win64
  loader=/usr/lib/wine/wine64
else
  export WINEARCH=win32
  loader=wine
fi

# A copy of the machine's prefix at $1, which wineboot makes first if need be.
copy_machine_prefix() {
  local cache
  cache="$OX_CACHE_DIR/wine-prefix-$(wine --version | tr -c 'A-Za-z0-9.\n' -)-win$width"
  mkdir -p "$(dirname "$cache")"
  (
    flock 8
    if [ ! -e "$cache/system.reg" ]; then
      rm -rf "$cache.new"
      # The server writes the prefix's registry when it ends.
      WINEPREFIX="$cache.new" "$loader" wineboot -i >/dev/null 2>&1
      WINEPREFIX="$cache.new" /usr/lib/wine/wineserver -w
      mv "$cache.new" "$cache"
    fi
  ) 8>"$cache.lock"
  rm -rf "$1"
  if cp -a --link "$cache" "$1" 2>/dev/null; then
    # Everything outside the system folders gets a copy of its own.
    (cd "$cache" && find . -type f ! -path './drive_c/windows/system32/*' \
      ! -path './drive_c/windows/syswow64/*' -print0) |
      (cd "$1" && xargs -0 -I{} cp --remove-destination -p "$cache/{}" "{}")
  else
    rm -rf "$1"
    cp -a "$cache" "$1" # another file system
  fi
}

if [ ! -e "$prefix/system.reg" ]; then
  mkdir -p "$(dirname "$prefix")"
  exec 9>"$prefix.lock"
  flock 9
  if [ ! -e "$prefix/system.reg" ]; then
    copy_machine_prefix "$prefix.new"
    if [ "${1-}" != --prefix-only ]; then
      # Windows open on a desktop of Wine's own, the size of the virtual display:
      # without a window manager, each window that closes would wait 2 s for one.
      explorer='HKCU\Software\Wine\Explorer'
      export WINEPREFIX="$prefix.new"
      "$loader" reg add "$explorer" /v Desktop /d Default /f >/dev/null
      "$loader" reg add "$explorer\Desktops" /v Default /d 1024x768 /f >/dev/null
      /usr/lib/wine/wineserver -w
    fi
    mv "$prefix.new" "$prefix"
  fi
  exec 9>&-
fi
export WINEPREFIX="$prefix"

program=${1-}
report="${program%.exe}.xml"
case "${2-}" in
--whole-run)
  rm -f "$report"
  "$loader" "$program" --gtest_output="xml:Z:$report" | tr -d '\r' || true
  [ -s "$report" ]
  ;;
--gtest_filter=*)
  exec python3 "$(dirname "$0")/gtest_result.py" "$report" "${2#--gtest_filter=}"
  ;;
*)
  [ "$program" = --prefix-only ] && exit 0
  # With pipefail, the program's own exit status.
  "$loader" "$@" | tr -d '\r'
  ;;
esac
