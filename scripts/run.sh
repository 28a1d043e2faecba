#!/usr/bin/env bash
# Builds the program and starts it on the stand-in library's simulated cards
# (OX9162_SIM_CARDS chooses them). Without a display it runs the window on a virtual
# one (Xvfb), saves a screenshot once the window is up, prints the PNG's path and
# ends the program. OX_BUILD_DIR picks another build directory than build/.
set -euo pipefail
. "$(dirname "$0")/settings.sh"
cd "$ox_root"
bash scripts/setup.sh
build="${OX_BUILD_DIR:-build}"
build_program() {
  cmake --preset default -B "$build" "${ox_launcher[@]}" &&
    cmake --build "$build" --target ox_krv5316 xshot
}
ox_quiet_build "run: building the program" build_program || exit 1
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
# xdotool looks for the window again every half second, for a minute at most.
title='  OX_KRV5316  -  test PCI karty ZOVAK'
window="$(timeout 60 xdotool search --sync --onlyvisible --limit 1 --name "^$title\$")" || true
if [ -z "$window" ]; then
  echo "run: the window did not appear within 60 s" >&2
  exit 1
fi
mkdir -p "$build/screenshots"
shot="$(cd "$build" && pwd)/screenshots/ox_krv5316.png"
"$build/bin/xshot" "$window" "$shot"
echo "$shot"
