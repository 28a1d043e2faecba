#!/usr/bin/env bash
# Fetches Debian's source package PACKAGE into DIR, verified and unpacked by apt, through
# apt lists of its own whose source entries mirror the machine's binary entries (same
# URIs, suites and keys): the machine's apt configuration is not touched. Shared by the
# scripts that build Qt for Windows and QEMU from Debian's own sources.
#   debian_source.sh PACKAGE DIR
set -euo pipefail
package=$1 work=$2
aptdir="$work/apt"
say() { echo "debian_source: $*" >&2; }

mkdir -p "$aptdir/sources.list.d" "$aptdir/lists/partial" "$aptdir/cache/archives/partial"
: >"$aptdir/sources.list"
for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] || continue
    sed 's/^Types:.*/Types: deb-src/' "$f" >"$aptdir/sources.list.d/$(basename "$f")"
done
if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb[[:space:]]/deb-src /p' /etc/apt/sources.list >"$aptdir/sources.list"
fi
apt_own=(-o "Dir::Etc::sourcelist=$aptdir/sources.list"
         -o "Dir::Etc::sourceparts=$aptdir/sources.list.d"
         -o "Dir::State::Lists=$aptdir/lists"
         -o "Dir::Cache=$aptdir/cache"
         -o "APT::Sandbox::User=root")
say "fetching the list of Debian's sources"
apt-get -q "${apt_own[@]}" update >/dev/null
say "fetching and verifying $package's source"
(cd "$work" && apt-get -q "${apt_own[@]}" source "$package" >/dev/null)
