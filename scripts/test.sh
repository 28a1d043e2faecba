#!/usr/bin/env bash
# Builds everything and runs every test. On a fresh Debian 12 machine it first
# installs what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default
bash scripts/windows.sh
ctest --preset default -j2
