#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds (default 5).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-5}
cmake --preset fuzz >/dev/null
cmake --build build/fuzz -j "$(nproc)"
for target in $(find build/fuzz -maxdepth 4 -type f -name "fuzz_*" -perm -u+x | sort); do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus=build/fuzz/corpus/$name
  mkdir -p "$corpus"
  seeds=()
  [ -d "fuzz/seeds/$name" ] && seeds+=("fuzz/seeds/$name")
  echo "fuzz: $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -print_final_stats=1 "$corpus" "${seeds[@]}" 2>&1 | grep -E "stat::number_of_executed_units|ERROR|SUMMARY" || true
  # A crash leaves a crash- file and a non-zero status; run once more without output filtering to fail loudly.
  if ls crash-* leak-* timeout-* >/dev/null 2>&1; then echo "fuzz: $name found a failure"; exit 1; fi
done
