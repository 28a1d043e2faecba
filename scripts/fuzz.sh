#!/usr/bin/env bash
# Fuzzes the parsers of outside input with libFuzzer: builds tests/fuzz with Clang in
# build-fuzz/ (apart from the main build), runs each target for a few seconds on a copy
# of its seed corpus, then replays its regression inputs. Prints one line per target
# and exits non-zero when any target crashed or found a broken property; the input that
# did it is kept under build-fuzz/artifacts/TARGET/.
#   FUZZ_SECONDS=60 bash scripts/fuzz.sh [TARGET...]   # longer, or only some targets
set -euo pipefail
. "$(dirname "$0")/settings.sh"
cd "$ox_root"

build=build-fuzz
seconds="${FUZZ_SECONDS:-5}"
targets=("$@")

# With the main build's path map, so that the compiler's cache serves other clones.
build_targets() {
    CC=clang CXX=clang++ cmake -S tests/fuzz -B "$build" -G Ninja --no-warn-unused-cli \
        "${ox_launcher[@]}" -DCMAKE_PROJECT_INCLUDE="$ox_root/cmake/relocatable_paths.cmake" &&
        if [ ${#targets[@]} -eq 0 ]; then mapfile -t targets <"$build/targets.txt"; fi &&
        cmake --build "$build" -j2 --target "${targets[@]}"
}
ox_quiet_build "fuzz: building the targets" build_targets || exit 1

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
