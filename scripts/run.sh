#!/usr/bin/env bash
# The main job: build and run the updater's loader stack against a simulated
# boot loader.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh
cmake -S . -B build/run -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_TESTS=OFF > /dev/null
cmake --build build/run -j "$(nproc)" > /dev/null
build/run/vantrel-loader-demo
