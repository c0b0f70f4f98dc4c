#!/usr/bin/env bash
# Builds the libFuzzer harnesses of fuzz/ (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, in build/fuzz) and runs them.
#
#   scripts/fuzz.sh [SECONDS] [HARNESS...]   each harness for SECONDS (default 300),
#                                            growing its corpus in build/fuzz/corpus/
#   scripts/fuzz.sh --runs N [HARNESS...]    each harness for N runs from its seeds
#                                            only (what the test command does)
#
# HARNESS is a folder name of fuzz/corpus (record_from_entry, ftdi_read, ...);
# without one, every harness runs. A failure leaves its input in
# build/fuzz/findings/ and makes the script fail.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=""
seconds=300
if [ "${1:-}" = "--runs" ]; then
    runs=${2:?--runs needs a number}
    shift 2
elif [[ "${1:-}" =~ ^[0-9]+$ ]]; then
    seconds=$1
    shift
fi

harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
    for folder in fuzz/corpus/*/; do
        harnesses+=("$(basename "$folder")")
    done
fi

CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_FUZZ=ON \
    -DVANTREL_TESTS=OFF >/dev/null
cmake --build build/fuzz -j "$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p build/fuzz/findings
for harness in "${harnesses[@]}"; do
    binary=build/fuzz/fuzz/${harness}_fuzzer
    seeds=fuzz/corpus/$harness
    [ -x "$binary" ] || { echo "no harness $harness" >&2; exit 2; }
    if [ -n "$runs" ]; then
        # New inputs go to a scratch folder, so the seeds in the tree stay as they are.
        scratch=$(mktemp -d)
        echo "== $harness: $runs runs"
        status=0
        "$binary" -runs="$runs" -artifact_prefix="build/fuzz/findings/$harness-" "$scratch" "$seeds" \
            >"build/fuzz/$harness.log" 2>&1 || status=$?
        rm -rf "$scratch"
    else
        corpus=build/fuzz/corpus/$harness
        mkdir -p "$corpus"
        echo "== $harness: $seconds s"
        status=0
        "$binary" -max_total_time="$seconds" -artifact_prefix="build/fuzz/findings/$harness-" "$corpus" "$seeds" \
            >"build/fuzz/$harness.log" 2>&1 || status=$?
    fi
    tail -n 1 "build/fuzz/$harness.log"
    if [ "$status" -ne 0 ]; then
        grep -E "broken:|ERROR:|runtime error|SUMMARY" "build/fuzz/$harness.log" | head -n 5 >&2 || true
        echo "$harness failed: see build/fuzz/$harness.log and build/fuzz/findings/" >&2
        exit 1
    fi
done
