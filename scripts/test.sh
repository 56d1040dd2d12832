#!/usr/bin/env bash
# Installs what is missing, builds under AddressSanitizer + UndefinedBehaviorSanitizer and runs every test,
# builds the release preset and runs every test again (a suite green in one build only does not pass),
# then builds the fuzz targets with clang and runs each for a few seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
source scripts/browser-env.sh
jobs=$(nproc)
run_tests() {
  local preset=$1
  cmake --preset "$preset"
  cmake --build "build/$preset" -j "$jobs"
  ctest --test-dir "build/$preset" --output-on-failure -j "$jobs" --timeout 600
}
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_tests asan
run_tests release
scripts/fuzz.sh 5
