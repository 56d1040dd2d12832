#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds (default 5).
# Fails when a target finds a crash, a leak or a timeout; the failing input is kept under build/fuzz/artifacts.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-5}
cmake --preset fuzz >/dev/null
cmake --build build/fuzz -j "$(nproc)" --target fuzzers
status=0
for target in $(find build/fuzz -type f -name 'fuzz_*' -perm -u+x | sort); do
  name=$(basename "$target")
  corpus=build/fuzz/corpus/$name
  artifacts=build/fuzz/artifacts/$name/
  log=build/fuzz/$name.log
  mkdir -p "$corpus" "$artifacts"
  seeds=()
  [ -d "fuzz/seeds/$name" ] && seeds+=("fuzz/seeds/$name")
  if "$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$artifacts" \
       "$corpus" "${seeds[@]}" >"$log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
    echo "fuzz: $name ran ${seconds}s, $runs inputs, no findings"
  else
    echo "fuzz: $name FAILED; the input is in $artifacts"
    tail -n 40 "$log"
    status=1
  fi
done
exit $status
