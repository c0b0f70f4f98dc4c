#!/usr/bin/env bash
# Saves PNG pictures of the window's main states in build/screenshots/,
# drawn offscreen (scripts/demo-screenshots.sh lists them).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/demo-screenshots.sh

scripts/install-dependencies.sh
cmake -S . -B build/run -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_TESTS=OFF > /dev/null
cmake --build build/run -j 2 --target vantrel-update-demo > /dev/null

out=build/screenshots
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$runtime"
take_demo_screenshots "$out" build/run/vantrel-update-demo
ls "$out"/*.png
