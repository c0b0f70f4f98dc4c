#!/usr/bin/env bash
# The Windows build: cross-compiles the core, the Win32 backend and the tests
# with MinGW-w64 and runs the tests under Wine, headless, in a Wine prefix of
# its own below build/.
set -euo pipefail
cd "$(dirname "$0")/.."

# tcl: SQLite's own build makes the amalgamation that the history is built with.
scripts/install-dependencies.sh mingw-w64 g++-mingw-w64-x86-64 wine wine64 tcl
sqlite=$(scripts/windows-sqlite.sh)

export WINEPREFIX="$PWD/build/wineprefix"
source scripts/wine-env.sh
wine_prefix_ready

# One Wine session for the whole run, started here with its output going
# nowhere: Wine's background processes (services, device drivers) outlive the
# program that starts them and hold on to its output, so a test listing or a
# test that happened to start them would never seem to end. The session also
# keeps each test's start quick.
wineserver -p
trap 'wineserver -k' EXIT
wineboot </dev/null >/dev/null 2>&1

echo "== Windows cross build and tests under Wine"
cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Debug \
    -DVANTREL_SQLITE_AMALGAMATION="$sqlite"
cmake --build build/windows -j 2
ctest --test-dir build/windows --output-on-failure -j 2 --timeout 300
