#!/usr/bin/env bash
# Applies the tree's convention (.clang-tidy: braces on every body; type, namespace and
# constant names) to every C/C++ source mechanically, then formats every source
# (.clang-format). It fixes what the Linux build compiles, then what only the 64-bit
# Windows build compiles (the *_windows.cpp files, the _WIN32 branches). Run it on a
# clean checkout after a merge, build and test, review `git diff`, commit as one change.
# OX_TIDY_JOBS sets the parallel jobs (default: all cores).
set -euo pipefail
. "$(dirname "$0")/settings.sh"
cd "$ox_root"
root="$ox_root"
jobs="${OX_TIDY_JOBS:-$(nproc)}"
log="$root/build/tidy.log"
folders='app|bench|cardaccess|check|driver|driverapi|firmware|sim|tests|tools'
sources="^$root/($folders)/"

for tool in run-clang-tidy clang-tidy clang-apply-replacements clang-format; do
  command -v "$tool" >/dev/null || { echo "tidy: $tool is missing (apt-get install clang-tidy clang-format)" >&2; exit 1; }
done

# The Linux build's compile commands, and the sources it generates (Qt's moc output).
linux_build() {
  cmake --preset default "${ox_launcher[@]}" && cmake --build --preset default
}
ox_quiet_build "tidy: the Linux build" linux_build || exit 1
: >"$log"
echo "tidy: fixing the Linux build's sources (diagnostics in $log)"
run-clang-tidy -p build -fix -quiet -j "$jobs" "$sources" >>"$log" 2>&1 ||
  { tail -n 40 "$log" >&2; echo "tidy: clang-tidy failed on the Linux build" >&2; exit 1; }

# The Windows sources through the cross compiler's commands; clang finds the MinGW C
# headers itself but not GCC's C++ library.
win="$root/build-tidy-win64"
cmake -S . -B "$win" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DOX_MINGW_TRIPLE=x86_64-w64-mingw32 \
  -DOX_BUILD_APP=OFF >/dev/null
extra=(-extra-arg=--target=x86_64-w64-mingw32)
while read -r dir; do
  extra+=("-extra-arg=-isystem$dir")
done < <(x86_64-w64-mingw32-g++ -E -x c++ -v - </dev/null 2>&1 | sed -n 's|^ \(.*/include/c++.*\)$|\1|p')
echo "tidy: fixing the Windows build's sources"
run-clang-tidy -p "$win" -fix -quiet -j "$jobs" "${extra[@]}" "$sources" >>"$log" 2>&1 ||
  { tail -n 40 "$log" >&2; echo "tidy: clang-tidy failed on the Windows build" >&2; exit 1; }
rm -rf "$win"

bash scripts/sources.sh | xargs -0 clang-format -i
echo "tidy: done; build, test and review git diff"
