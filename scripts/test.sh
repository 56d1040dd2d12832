#!/usr/bin/env bash
# Installs what is missing, builds under AddressSanitizer + UndefinedBehaviorSanitizer, runs every test,
# then builds the fuzz targets with clang and runs each for a few seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)
cmake --preset asan
cmake --build build/asan -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build/asan --output-on-failure -j "$jobs" --timeout 600
scripts/fuzz.sh 5
