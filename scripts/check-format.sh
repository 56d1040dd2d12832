#!/usr/bin/env bash
# Fails when a C++ file of the tree differs from what clang-format (Debian 12's, version 14) makes of it.
# `scripts/check-format.sh --fix` formats them in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
report=$(mktemp)
trap 'rm -f "$report"' EXIT
if ! clang-format --dry-run --Werror "${files[@]}" 2>"$report"; then
  grep -o '^[^:]*\.\(cpp\|h\)' "$report" | sort -u | sed 's/^/format: differs from clang-format: /'
  echo "format: run scripts/check-format.sh --fix"
  exit 1
fi
echo "format: ${#files[@]} files as clang-format has them"
