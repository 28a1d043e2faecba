#!/usr/bin/env bash
# ctest's way to a Windows test program under Wine, in a prefix made at its first use:
#   wine_test.sh WIDTH PREFIX PROGRAM --whole-run     runs every test of the program at
#                 once into PROGRAM's XML report; fails only when there is no report
#   wine_test.sh WIDTH PREFIX PROGRAM --gtest_filter=SUITE.NAME ...
#                 that test's result from the report: a Wine start for each test would
#                 cost more than most tests do
#   wine_test.sh WIDTH PREFIX PROGRAM [ARG...]        runs it (listing its tests)
# The program's carriage returns are dropped, so that its lines read as on Linux.
set -euo pipefail
width=$1 prefix=$2
shift 2
# No .NET or browser engine: the prefix needs nothing that would be fetched.
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ "$width" = 64 ]; then
  export WINEARCH=win64
  loader=/usr/lib/wine/wine64
else
  export WINEARCH=win32
  loader=wine
fi
if [ ! -e "$prefix/system.reg" ]; then
  exec 9>"$prefix.lock"
  flock 9
  if [ ! -e "$prefix/system.reg" ]; then
    rm -rf "$prefix.new"
    bash "$(dirname "$0")/wine_prefix.sh" "$width" "$prefix.new"
    # Windows open on a desktop of Wine's own, the size of the virtual display: without
    # a window manager, each window that closes would wait 2 s for one.
    explorer='HKCU\Software\Wine\Explorer'
    WINEPREFIX="$prefix.new" "$loader" reg add "$explorer" /v Desktop /d Default /f >/dev/null
    WINEPREFIX="$prefix.new" "$loader" reg add "$explorer\Desktops" /v Default /d 1024x768 \
      /f >/dev/null
    WINEPREFIX="$prefix.new" /usr/lib/wine/wineserver -w
    mv "$prefix.new" "$prefix"
  fi
  exec 9>&-
fi
program=$1
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
  # With pipefail, the program's own exit status.
  "$loader" "$@" | tr -d '\r'
  ;;
esac
