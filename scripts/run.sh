#!/usr/bin/env bash
# The main job: build the updater, install firmware onto a simulated adapter
# with vantrel-flash, then run the window on a simulated adapter (on a
# display if there is one, else offscreen, installing by itself). Both take
# real time, as on hardware.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh
cmake -S . -B build/run -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_TESTS=OFF > /dev/null
cmake --build build/run -j "$(nproc)" > /dev/null

echo "== vantrel-flash: adapters on the simulated bus"
build/run/cli/vantrel-flash list --simulate max,serial=VT0004711,installed --real-time || true
echo
echo "== vantrel-flash: installing the carried firmware"
build/run/cli/vantrel-flash install --simulate max,serial=VT0004711,installed --real-time
echo
echo "== The window on a simulated adapter"
exec scripts/run-demo.sh "$@"
