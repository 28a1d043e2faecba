#!/usr/bin/env bash
# The one way the scripts, tests and benchmarks get a virtual X display: a private Xvfb
# (1024x768, 24 bits, no TCP) on a display number it picks itself, ready for clients.
#   virtual_display.sh COMMAND [ARG...]  runs COMMAND with DISPLAY set to it, ends the
#                                        server afterwards and exits as COMMAND did
#   virtual_display.sh                   prints the display (":N") once it takes
#                                        clients and serves until it is terminated or
#                                        its standard input closes (its parent gone)
set -euo pipefail

work="$(mktemp -d)"
xvfb_pid=""
reader_pid=""
cleanup() {
  [ -z "$reader_pid" ] || kill "$reader_pid" 2>/dev/null || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  [ -z "$xvfb_pid" ] || wait "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

# Xvfb writes its number to a pipe once it takes clients. Read-write, the pipe opens
# without waiting for a writer; once Xvfb holds that end alone, a server that ends
# before it writes closes the pipe, so the read returns at once either way.
mkfifo "$work/display"
exec 3<>"$work/display"
Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp 2>"$work/xvfb.log" </dev/null &
xvfb_pid=$!
exec 4<"$work/display" 3<&-
if ! read -r -t 20 number <&4; then
  echo "virtual_display: Xvfb did not start within 20 s" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
exec 4<&-
ready=":$number"

if [ $# -gt 0 ]; then
  status=0
  DISPLAY="$ready" "$@" || status=$?
  exit "$status"
fi
echo "$ready"
# A background reader, since a trapped signal interrupts wait but not a foreground cat.
exec 4<&0
cat <&4 >/dev/null &
reader_pid=$!
wait -n "$xvfb_pid" "$reader_pid"
