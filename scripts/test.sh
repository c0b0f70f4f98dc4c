#!/usr/bin/env bash
# Everything CI does: install what is missing, then configure, build and run
# every test, once plainly and once with AddressSanitizer and
# UndefinedBehaviorSanitizer; build the tests of several adapters at once
# with ThreadSanitizer and run them; run each fuzz harness briefly from its seeds;
# cross-build for Windows and test under Wine; last, build the packages a
# user installs and check them.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh
jobs=$(nproc)

run_build() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug "$@"
    cmake --build "$dir" -j "$jobs"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300
}

echo "== Build and tests"
run_build build/test

echo "== Sanitizer build and tests"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_build build/sanitize -DVANTREL_SANITIZE=ON

echo "== ThreadSanitizer build of the tool and the tests of several adapters at once"
# Only what those tests need is built, and only they run.
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=Debug -DVANTREL_SANITIZE=thread
cmake --build build/tsan -j "$jobs" --target vantrel_concurrency_tests vantrel-flash
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir build/tsan --output-on-failure -j "$jobs" --timeout 300 -L concurrency

echo "== Fuzz harnesses, a fixed number of runs each from their seeds"
scripts/fuzz.sh --runs 20000

echo "== Windows cross build and tests under Wine"
scripts/test-windows.sh

echo "== Packages: the Debian package and the Windows setup program"
scripts/package.sh
scripts/test-deb.sh
scripts/test-setup.sh
