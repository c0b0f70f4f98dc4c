#!/usr/bin/env bash
# The main job: build the updater and install firmware onto a simulated
# adapter, with real timing, so the install takes as long as on hardware.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh
cmake -S . -B build/run -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_TESTS=OFF > /dev/null
cmake --build build/run -j "$(nproc)" > /dev/null

echo "== Adapters on the simulated bus"
build/run/cli/vantrel-flash list --simulate max,serial=VT0004711,installed --real-time || true
echo
echo "== Installing the carried firmware"
build/run/cli/vantrel-flash install --simulate max,serial=VT0004711,installed --real-time
