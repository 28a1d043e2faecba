#!/usr/bin/env bash
# Fuzzes the parsers of outside input with libFuzzer: builds tests/fuzz with Clang in
# build-fuzz/ (apart from the main build), runs each target for a few seconds on a copy
# of its seed corpus, then replays its regression inputs. Prints one line per target
# and exits non-zero when any target crashed or found a broken property; the input that
# did it is kept under build-fuzz/artifacts/TARGET/.
#   FUZZ_SECONDS=60 bash scripts/fuzz.sh [TARGET...]   # longer, or only some targets
set -euo pipefail
cd "$(dirname "$0")/.."

build=build-fuzz
seconds="${FUZZ_SECONDS:-5}"
targets=("$@")

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
if ! { CC=clang CXX=clang++ cmake -S tests/fuzz -B "$build" -G Ninja "${launcher[@]}" &&
       if [ ${#targets[@]} -eq 0 ]; then mapfile -t targets <"$build/targets.txt"; fi &&
       cmake --build "$build" -j2 --target "${targets[@]}"; } >"$log" 2>&1; then
    cat "$log" >&2
    echo "fuzz: building the targets FAILED" >&2
    exit 1
fi

status=0
for target in "${targets[@]}"; do
    run="$build/runs/$target"
    rm -rf "$run"
    mkdir -p "$run/corpus" "$run/tmp" "$build/artifacts/$target"
    cp tests/fuzz/corpus/"$target"/* "$run/corpus/"
    seeds=$(find "$run/corpus" -type f | wc -l)
    # TMPDIR: a target's scratch files stay in the run's folder, also after a crash.
    found=""
    if ! TMPDIR="$PWD/$run/tmp" "$build/$target" -max_total_time="$seconds" -timeout=2 \
        -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$target/" "$run/corpus" >"$run/fuzz.log" 2>&1; then
        found="$(grep -m1 -E '^(broken property|==[0-9]+==ERROR|SUMMARY)' "$run/fuzz.log" ||
                 echo 'a failure')"
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$run/fuzz.log")
    inputs=$(find "$run/corpus" -type f | wc -l)
    regressions=(tests/fuzz/regressions/"$target"/*)
    [ -e "${regressions[0]}" ] || regressions=()
    if [ ${#regressions[@]} -gt 0 ] &&
        ! TMPDIR="$PWD/$run/tmp" "$build/$target" "${regressions[@]}" >"$run/replay.log" 2>&1; then
        found="${found:+$found; }regression: $(grep -m1 -E \
            '^(broken property|==[0-9]+==ERROR|SUMMARY)' "$run/replay.log" || echo 'a failure')"
    fi
    echo "fuzz: $target: ${runs:-0} runs in ${seconds} s, corpus ${seeds} -> ${inputs}," \
        "${#regressions[@]} regressions replayed: ${found:-nothing found}"
    if [ -n "$found" ]; then
        echo "fuzz: $target: logs in $run/, inputs in $build/artifacts/$target/;" \
            "minimise with -minimize_crash=1 into tests/fuzz/regressions/$target/" >&2
        status=1
    fi
done
exit $status
