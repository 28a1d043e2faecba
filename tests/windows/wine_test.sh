#!/usr/bin/env bash
# ctest's way to a Windows test program: runs it under Wine, to list its tests and to
# run them.   wine_test.sh WIDTH PREFIX PROGRAM [ARG...]
# The prefix is made at its first use, once, whichever test comes first. The
# program's carriage returns are dropped from its output, so that its lines read as a
# Linux program's.
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
  mkdir -p "$(dirname "$prefix")"
  # The server writes the prefix's registry when it ends.
  flock "$prefix.lock" bash -c '[ -e "$WINEPREFIX/system.reg" ] ||
    { "$0" wineboot -i && /usr/lib/wine/wineserver -w; } >/dev/null 2>&1' "$loader"
fi
# With pipefail, the program's own exit status.
"$loader" "$@" | tr -d '\r'
