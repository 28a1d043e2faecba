#!/usr/bin/env bash
# Builds everything and runs every test, the quick parts first: the Linux build and its
# tests within minutes, then fuzzing, the virtual-machine tests (their kernel and QEMU
# made once per machine) and the Windows builds with their tests under Wine (Qt for
# Windows built once per machine, long). On a fresh Debian 12 machine it first installs
# what is missing. A build that fails stops the run; tests that fail are named and the
# run goes on, to end non-zero with the parts that failed.
set -euo pipefail
. "$(dirname "$0")/settings.sh"
cd "$ox_root"
bash scripts/setup.sh
# Formatting first: it takes a second and fails the run before the long build.
if ! bash scripts/sources.sh | xargs -0 clang-format --dry-run --Werror; then
  echo "test: sources not formatted as .clang-format says; run clang-format -i on them" >&2
  exit 1
fi

# Qt for Windows takes tens of minutes the first time on a machine: both widths build
# from here on at the lowest priority, on the cores the Linux side leaves idle, and the
# Windows side waits for them. Their own process group goes with the run, however the
# run ends.
qt_log="$(mktemp)"
setsid bash -c 'nice -n 19 bash scripts/qt_windows.sh 32 && nice -n 19 bash scripts/qt_windows.sh 64' \
  >/dev/null 2>"$qt_log" &
qt_group=$!
trap 'kill -- -"$qt_group" 2>/dev/null || true; rm -f "$qt_log"' EXIT

linux_build() {
  cmake --preset default "${ox_launcher[@]}" && cmake --build --preset default
}
ox_quiet_build "test: the Linux build" linux_build || exit 1

# ctest on the Linux build, without the lines of the tests that passed: what failed
# (with its output) or was skipped, and the summary.
linux_tests() {
  local log status=0
  log="$(mktemp)"
  ctest --preset default -j2 "$@" >"$log" 2>&1 || status=$?
  grep -v -E '^ *(Start +[0-9]+:|[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed +[0-9.]+ sec$)' "$log"
  rm -f "$log"
  return "$status"
}
failed=()
# All but the virtual-machine tests (label vm), which come once their kernel and QEMU
# are there.
linux_tests -LE '^vm$' || failed+=("the Linux tests")

bash scripts/fuzz.sh || failed+=(fuzzing)

# The virtual-machine tests' kernel and QEMU with the card device, made once per
# machine (not in setup: the run command needs neither); the tests make them
# themselves when this could not.
bash scripts/vm_kernel.sh >/dev/null ||
  echo "test: no kernel for the virtual-machine tests yet (scripts/vm_kernel.sh)" >&2
bash scripts/vm_qemu.sh >/dev/null ||
  echo "test: no QEMU with the card device yet (scripts/vm_qemu.sh)" >&2
linux_tests -L '^vm$' || failed+=("the virtual-machine tests")

if kill -0 "$qt_group" 2>/dev/null; then
  echo "test: waiting for Qt for Windows (its progress: $qt_log)" >&2
fi
# What the early Qt builds said: their times, or why they failed (the Windows side then
# tries again, in sight).
wait "$qt_group" 2>/dev/null || true
grep -v '^qt_windows: building Qt \[' "$qt_log" >&2 || true
bash scripts/windows.sh || failed+=("the Windows builds or tests")

if [ ${#failed[@]} -gt 0 ]; then
  echo "test: FAILED: $(printf '%s; ' "${failed[@]}" | sed 's/; $//')" >&2
  exit 1
fi
echo "test: everything passed"
