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

Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp \
  3>"$work/display" 2>"$work/xvfb.log" </dev/null &
xvfb_pid=$!
# The number comes a moment before the server takes clients: wait for both, 10 s each.
ready=""
for _ in $(seq 100); do
  if [ -s "$work/display" ]; then
    ready=":$(head -n1 "$work/display")"
    break
  fi
  sleep 0.1
done
for _ in $(seq 100); do
  if [ -n "$ready" ] && xwininfo -root -display "$ready" >/dev/null 2>&1; then
    break
  fi
  sleep 0.1
done
if [ -z "$ready" ] || ! xwininfo -root -display "$ready" >/dev/null 2>&1; then
  echo "virtual_display: Xvfb did not start" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi

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
