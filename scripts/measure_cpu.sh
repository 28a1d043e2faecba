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
cd "$(dirname "$0")/.."
build="${1:-build}"
seconds="${2:-10}"
bench="$build/bin/tick_bench"
if [[ ! -x "$bench" ]]; then
    cmake --build "$build" --target tick_bench
fi

xvfb_pid=""
cleanup() {
    if [[ -n "$xvfb_pid" ]]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT

if [[ -z "${DISPLAY:-}" ]]; then
    display=""
    for n in $(seq 90 120); do
        if [[ ! -e "/tmp/.X11-unix/X$n" && ! -e "/tmp/.X$n-lock" ]]; then
            display=":$n"
            break
        fi
    done
    [[ -n "$display" ]] || { echo "no free X display number" >&2; exit 1; }
    Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do
        [[ -e "/tmp/.X11-unix/X${display#:}" ]] && break
        sleep 0.1
    done
    [[ -e "/tmp/.X11-unix/X${display#:}" ]] || { echo "Xvfb did not start" >&2; exit 1; }
    export DISPLAY="$display"
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
