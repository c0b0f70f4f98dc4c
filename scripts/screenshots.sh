#!/usr/bin/env bash
# Saves PNG pictures of the window's main states in build/screenshots/,
# drawn offscreen: no adapter (no-device), an adapter ready with its release
# notes (device-ready), an install under way (installing), the new version
# read back (installed), and the "Error" box of a failed install (error).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh
cmake -S . -B build/run -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_TESTS=OFF > /dev/null
cmake --build build/run -j 2 --target vantrel-update-demo > /dev/null

out=build/screenshots
mkdir -p "$out"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -m 700 "$scratch/runtime"
mkdir "$scratch/failed"
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$scratch/runtime"

build/run/vantrel-update-demo --auto-install --attach-after 1 --screenshots "$out" > /dev/null
# The install fails, as asked: the demo ends with 1.
build/run/vantrel-update-demo --auto-install --variant msp430 --fault crc --screenshots "$scratch/failed" \
    > /dev/null 2>&1 || [ $? -eq 1 ]
cp "$scratch/failed/error.png" "$out/"
ls "$out"/*.png
