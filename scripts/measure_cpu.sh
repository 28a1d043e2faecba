#!/usr/bin/env bash
# CPU share of the running window with a simulated card open, over 10 s of real time.
#
# The program takes no input but the operator's, so the measurement runs the same
# window class in bench/tick_bench: it opens card 1, starts all 24 counters, shows the
# counters page and leaves the window to its own 100 ms timer on the real clock while
# it measures the process's CPU time. With no DISPLAY it starts a private Xvfb, so the
# window paints through the real xcb platform as it would on a desktop.
#
# Usage: scripts/measure_cpu.sh [build dir] [seconds]   (defaults: build, 10)
# OX_CPU_PAGE=0..3 shows another page meanwhile (default 1, the counters page).
set -euo pipefail
. "$(dirname "$0")/settings.sh"
cd "$ox_root"
build="${1:-build}"
seconds="${2:-10}"
bench="$build/bin/tick_bench"
if [[ ! -x "$bench" ]]; then
    ox_quiet_build "measure_cpu: building tick_bench" \
        cmake --build "$build" --target tick_bench || exit 1
fi

display_pid=""
xvfb_pid=""
cleanup() {
    if [[ -n "$display_pid" ]]; then
        kill "$display_pid" 2>/dev/null || true
        wait "$display_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT

if [[ -z "${DISPLAY:-}" ]]; then
    coproc display_server { exec bash scripts/virtual_display.sh; }
    display_pid=$display_server_PID
    read -r -t 30 display <&"${display_server[0]}" || { echo "no virtual display" >&2; exit 1; }
    export DISPLAY="$display"
    # The server is the script's child; its CPU time is reported apart.
    xvfb_pid=$(pgrep -P "$display_pid" -x Xvfb)
fi

xvfb_ticks_before=0
if [[ -n "$xvfb_pid" ]]; then
    xvfb_ticks_before=$(awk '{print $14 + $15}' "/proc/$xvfb_pid/stat")
fi

QT_QPA_PLATFORM=xcb OX_CPU_SECONDS="$seconds" "$bench" \
    --benchmark_filter=BM_RunningWindowCpuShare --benchmark_counters_tabular=true

if [[ -n "$xvfb_pid" ]]; then
    hz=$(getconf CLK_TCK)
    xvfb_ticks=$(( $(awk '{print $14 + $15}' "/proc/$xvfb_pid/stat") - xvfb_ticks_before ))
    echo "Xvfb (the X server, a separate process) used $(awk -v t="$xvfb_ticks" -v hz="$hz" \
        'BEGIN { printf "%.2f", t / hz }') s of CPU during the whole run (start-up included)."
fi
