#!/usr/bin/env bash
# Makes a Wine prefix for the tests, of one width, unless it exists:
#   wine_prefix.sh WIDTH PREFIX
# wineboot takes 15 to 30 s and writes 0.6 to 1.3 GB; so it runs once per machine and
# Wine version, into a prefix kept beside the other caches, and each prefix the tests
# ask for is a copy of that one whose system folders are hard links (Wine never
# writes there in place). Safe to run from several tests at once.
set -euo pipefail
width=$1 prefix=$2
[ -e "$prefix/system.reg" ] && exit 0
# No .NET or browser engine: the prefix needs nothing that would be fetched.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ "$width" = 64 ]; then
  export WINEARCH=win64
  loader=/usr/lib/wine/wine64
else
  export WINEARCH=win32
  loader=wine
fi
cache_root=/var/cache/ox_krv5316
version="$(wine --version | tr -c 'A-Za-z0-9.\n' '-')"
cache="$cache_root/wine-prefix-$version-win$width"
mkdir -p "$cache_root" "$(dirname "$prefix")"

exec 9>"$cache.lock"
flock 9
if [ ! -e "$cache/system.reg" ]; then
  rm -rf "$cache.new"
  # The server writes the prefix's registry when it ends.
  WINEPREFIX="$cache.new" "$loader" wineboot -i >/dev/null 2>&1
  WINEPREFIX="$cache.new" /usr/lib/wine/wineserver -w
  mv "$cache.new" "$cache"
fi
exec 9>&-

exec 9>"$prefix.lock"
flock 9
if [ ! -e "$prefix/system.reg" ]; then
  rm -rf "$prefix.new"
  if cp -a --link "$cache" "$prefix.new" 2>/dev/null; then
    # Everything outside the system folders gets a copy of its own.
    (cd "$cache" && find . -type f ! -path './drive_c/windows/system32/*' \
      ! -path './drive_c/windows/syswow64/*' -print0) |
      (cd "$prefix.new" && xargs -0 -I{} cp --remove-destination -p "$cache/{}" "{}")
  else
    rm -rf "$prefix.new"
    cp -a "$cache" "$prefix.new" # another file system
  fi
  mv "$prefix.new" "$prefix"
fi
