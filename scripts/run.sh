#!/usr/bin/env bash
# Builds the program and starts it on the stand-in library's simulated cards
# (OX9162_SIM_CARDS chooses them). Without a display it runs the window on a virtual
# one (Xvfb), saves a screenshot once the window is up, prints the PNG's path and
# ends the program. OX_BUILD_DIR picks another build directory than build/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
build="${OX_BUILD_DIR:-build}"
log="$(mktemp)"
if ! { cmake --preset default -B "$build" && cmake --build "$build" --target ox_krv5316 xshot; } \
  >"$log" 2>&1; then
  cat "$log" >&2
  rm -f "$log"
  exit 1
fi
rm -f "$log"
app="$build/bin/ox_krv5316"

if [ -n "${DISPLAY:-}" ]; then
  exec "$app"
fi

work="$(mktemp -d)"
chmod 700 "$work"
display_pid=""
app_pid=""
cleanup() {
  [ -z "$app_pid" ] || kill "$app_pid" 2>/dev/null || true
  [ -z "$display_pid" ] || kill "$display_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Bounded wait: $1 tenths of a second for the command in the remaining arguments.
wait_for() {
  local tenths="$1"
  shift
  for _ in $(seq "$tenths"); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  return 1
}

coproc display_server { exec bash scripts/virtual_display.sh; }
display_pid=$display_server_PID
if ! read -r -t 30 display <&"${display_server[0]}"; then
  echo "run: no virtual display" >&2
  exit 1
fi
export DISPLAY="$display"
export XDG_RUNTIME_DIR="$work"

"$app" &
app_pid=$!
title='  OX_KRV5316  -  test PCI karty ZOVAK'
window_up() {
  local id
  id="$(xwininfo -root -tree 2>/dev/null | grep -F "\"$title\"" | awk '{print $1}' | head -n1)"
  [ -n "$id" ] && xwininfo -id "$id" 2>/dev/null | grep -q IsViewable && echo "$id" >"$work/window"
}
if ! wait_for 200 window_up; then
  echo "run: the window did not appear" >&2
  exit 1
fi
sleep 0.5 # let the first paint land
mkdir -p "$build/screenshots"
shot="$(cd "$build" && pwd)/screenshots/ox_krv5316.png"
"$build/bin/xshot" "$(cat "$work/window")" "$shot"
echo "$shot"
