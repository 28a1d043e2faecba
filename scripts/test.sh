#!/usr/bin/env bash
# Builds everything and runs every test. On a fresh Debian 12 machine it first
# installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# The compiler's work is kept once per machine, beside the other caches, so that a
# fresh clone builds from it; paths below the checkout count relative to it.
export CCACHE_DIR="${CCACHE_DIR:-/var/cache/ox_krv5316/ccache}" CCACHE_BASEDIR="$PWD"
export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
# Formatting first: it takes a second and fails the run before the long build.
if ! bash scripts/sources.sh | xargs -0 clang-format --dry-run --Werror; then
  echo "test: sources not formatted as .clang-format says; run clang-format -i on them" >&2
  exit 1
fi
bash scripts/fuzz.sh
# The virtual-machine tests' kernel and QEMU with the card device, made once per
# machine (not in setup: the run command needs neither); the tests make them
# themselves when this could not.
bash scripts/vm_kernel.sh >/dev/null ||
  echo "test: no kernel for the virtual-machine tests yet (scripts/vm_kernel.sh)" >&2
bash scripts/vm_qemu.sh >/dev/null ||
  echo "test: no QEMU with the card device yet (scripts/vm_qemu.sh)" >&2
cmake --preset default >/dev/null
cmake --build --preset default
bash scripts/windows.sh
ctest --preset default -j2
