#!/usr/bin/env bash
# The Windows build: cross-compiles the core, the Win32 backend, the window
# and the tests with MinGW-w64 and runs the tests under Wine in a Wine prefix
# of its own below build/, then takes pictures of the demo's window under
# Wine into build/windows/screenshots/.
#
# The window needs the Qt kit for Windows: scripts/build-qt-windows.sh builds
# it once per machine (about 25 minutes on two cores); later runs reuse it.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/qt-windows-kit.sh

# tcl: SQLite's own build makes the amalgamation that the history is built with.
scripts/install-dependencies.sh mingw-w64 g++-mingw-w64-x86-64 wine wine64 tcl
sqlite=$(scripts/windows-sqlite.sh)
scripts/build-qt-windows.sh
kit=$(qt_windows_kit_dir)

export WINEPREFIX="$PWD/build/wineprefix"
source scripts/wine-env.sh
source scripts/demo-screenshots.sh
# The windows of the window's tests and of the demo are real windows, drawn
# by Wine on a virtual X display.
wine_display
trap 'wineserver -k 2>/dev/null || true; wine_display_stop' EXIT
wine_prefix_ready

# One Wine session for the whole run, started here with its output going
# nowhere: Wine's background processes (services, device drivers) outlive the
# program that starts them and hold on to its output, so a test listing or a
# test that happened to start them would never seem to end. The session also
# keeps each test's start quick.
wineserver -p
wineboot </dev/null >/dev/null 2>&1

echo "== Windows cross build and tests under Wine"
cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Debug \
    -DVANTREL_SQLITE_AMALGAMATION="$sqlite" "-DVANTREL_QT_WINDOWS_KIT=$kit"
cmake --build build/windows -j 2
ctest --test-dir build/windows --output-on-failure -j 2 --timeout 300

if [ -f build/windows/vantrel-update-demo.exe ]; then
    echo "== The demo's window under Wine, in pictures"
    out=build/windows/screenshots
    rm -rf "$out"
    # Wine finds the Qt DLLs where the build does.
    WINEPATH="Z:$kit/bin" take_demo_screenshots "$out" wine build/windows/vantrel-update-demo.exe
    ls "$out"/*.png
fi
