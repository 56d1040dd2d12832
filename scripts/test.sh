#!/usr/bin/env bash
# Installs what is missing, builds under AddressSanitizer + UndefinedBehaviorSanitizer and runs every test,
# builds the release preset and runs every test again (a suite green in one build only does not pass),
# then builds the fuzz targets with clang and runs each for a few seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/check-format.sh
source scripts/browser-env.sh
jobs=$(nproc)
# Every option the tests depend on is passed each time: the main job and the desktop script configure the
# same release folder without tests, and a cached setting must not leave a stage with nothing to run.
run_tests() {
  local preset=$1
  shift
  cmake --preset "$preset" -DKYMORA_TESTS=ON -DKYMORA_GUI=ON "$@"
  cmake --build "build/$preset" -j "$jobs"
  ctest --test-dir "build/$preset" --output-on-failure -j "$jobs" --no-tests=error
}
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_tests asan -DKYMORA_BENCH=OFF
run_tests release -DKYMORA_BENCH=ON
scripts/fuzz.sh 5
