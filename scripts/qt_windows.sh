#!/usr/bin/env bash
# Builds Qt for Windows as DLLs (Core, Gui, Widgets, Test and the Windows platform
# plugin), which the user may replace as its licence asks, from Debian's own qt6-base
# source with Debian's mingw-w64, once per machine:
#   scripts/qt_windows.sh [32|64]        (default 32)
# installs it into qt-<version>-win<width>-mingw-shared/ in the machine's cache folder
# (OX_CACHE_DIR, scripts/settings.sh), links qt-win<width>-mingw-shared to it for the
# CMake presets, and prints that folder as its last line. A finished build leaves a
# stamp there, and a later run only prints the folder. The machine's apt configuration
# is not touched: the source comes through the script's own source list and state
# folders.
set -euo pipefail
. "$(dirname "$0")/settings.sh"

width="${1:-32}"
case $width in
32) triple=i686-w64-mingw32 ;;
64) triple=x86_64-w64-mingw32 ;;
*) echo "qt_windows: width is 32 or 64, not '$width'" >&2; exit 2 ;;
esac
repo="$ox_root"
cache="$OX_CACHE_DIR"
toolchain_name=mingw-shared
say() { echo "qt_windows: $*" >&2; }

# --- the source, through apt with its own lists -------------------------------------
work="$cache/qt-source"
mkdir -p "$work"
version="$(ls "$work" 2>/dev/null | sed -n 's/^qt6-base_\(.*\)+dfsg.*\.dsc$/\1/p' | sort -V | tail -1)"
if [ -z "$version" ]; then
    bash "$repo/scripts/debian_source.sh" qt6-base "$work"
    version="$(ls "$work" | sed -n 's/^qt6-base_\(.*\)+dfsg.*\.dsc$/\1/p' | sort -V | tail -1)"
fi
[ -n "$version" ] || { say "no qt6-base source found in $work"; exit 1; }
src="$(ls -d "$work"/qt6-base-"$version"* | head -1)"

# What the window and its tests do not use is left out: every feature off here is
# compile time saved on each new machine, twice (once per width). The tool bar, the main
# window, the spin box, the input dialog and the tree view stay: Widgets and the Windows
# style need them.
qt_off=(
    # modules and bundled libraries
    network sql dbus xml printsupport concurrent opengl dynamicgl vulkan freetype
    imageformat_jpeg jpeg gif ico pdf
    # the window's Czech and English text needs no shaping engine; Windows maps its glyphs
    harfbuzz
    # plugins: only the Windows platform and its style are loaded (direct2d itself stays:
    # the Windows platform plugin takes its DirectWrite font database from Gui with it)
    direct2d1_1 style_fusion
    # Core
    sharedmemory systemsemaphore process filesystemwatcher gestures proxymodel
    sortfilterproxymodel identityproxymodel transposeproxymodel
    concatenatetablesproxymodel jalalicalendar hijricalendar islamiccivilcalendar
    mimetype timezone
    # Gui
    tabletevent sessionmanager systemtrayicon whatsthis movie picture filesystemmodel
    textmarkdownreader textmarkdownwriter textodfwriter imageformat_ppm imageformat_xbm
    undocommand undostack undogroup
    # Widgets
    style_stylesheet effects graphicsview graphicseffect scroller treewidget listwidget
    commandlinkbutton datetimeedit calendarwidget textbrowser splashscreen splitter
    lcdnumber fontcombobox toolbox dockwidget mdiarea
    statusbar sizegrip statustip dial syntaxhighlighter keysequenceedit colordialog
    filedialog fontdialog progressdialog errormessage wizard
    datawidgetmapper columnview completer fscompleter undoview
)
qt_options=(-DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
    -DQT_BUILD_BENCHMARKS=OFF -DQT_BUILD_MANUAL_TESTS=OFF -DFEATURE_testlib=ON
    -DFEATURE_system_pcre2=OFF -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF
    -DFEATURE_system_jpeg=OFF -DFEATURE_system_harfbuzz=OFF)
for feature in "${qt_off[@]}"; do
    qt_options+=("-DFEATURE_$feature=OFF")
done

prefix="$cache/qt-$version-win$width-$toolchain_name"
stamp="$prefix/.built"
# The stamp names the options and the toolchain file the build used: a change to either
# builds Qt again.
build_sum="$({ echo "${qt_options[*]}"; cat "$repo/cmake/mingw-w64.cmake"; } |
    sha256sum | cut -d' ' -f1)"
# The CMake presets find the Qt of a width by a name without its version.
current="$cache/qt-win$width-$toolchain_name"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$build_sum" ]; then
    ln -sfn "$(basename "$prefix")" "$current"
    echo "$prefix"
    exit 0
fi

# --- configure and build -------------------------------------------------------------
# The toolchain file travels with the installed Qt, so its own toolchain file still
# finds it when the checkout that built it is gone.
rm -rf "$prefix"
mkdir -p "$prefix/share/ox_krv5316"
cp "$repo/cmake/mingw-w64.cmake" "$prefix/share/ox_krv5316/mingw-w64.cmake"
build="$work/build-win$width-$toolchain_name"
log="$work/build-win$width-$toolchain_name.log"
rm -rf "$build"
say "configuring Qt $version for $width-bit Windows (log: $log)"
start=$(date +%s)
if ! cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$prefix/share/ox_krv5316/mingw-w64.cmake" \
        -DOX_MINGW_TRIPLE="$triple" -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        "${qt_options[@]}" "${ox_launcher[@]}" \
        >"$log" 2>&1; then
    tail -40 "$log" >&2
    say "configuring Qt FAILED"
    exit 1
fi
say "building Qt (long: tens of minutes on two cores)"
# Ninja's own [done/total] lines are the progress; one line a minute is enough.
cmake --build "$build" -j"$(nproc)" >>"$log" 2>&1 &
pid=$!
while kill -0 "$pid" 2>/dev/null; do
    sleep 60
    step="$(grep -o '^\[[0-9]*/[0-9]*\]' "$log" | tail -1)"
    say "building Qt $step, $(( ($(date +%s) - start) / 60 )) min"
done
if ! wait "$pid"; then
    grep -E -B2 -A20 -m3 '^FAILED: |error:' "$log" | head -60 >&2
    say "building Qt FAILED"
    exit 1
fi
cmake --install "$build" >>"$log" 2>&1
minutes=$(( ($(date +%s) - start) / 60 ))
say "Qt $version for $width-bit Windows built in $minutes min, $(du -sh "$prefix" | cut -f1) installed"
rm -rf "$build"
echo "$build_sum" >"$stamp"
ln -sfn "$(basename "$prefix")" "$current"
echo "$prefix"
