#!/usr/bin/env bash
# Plants one-line faults, one at a time, in a scratch copy of the sources and runs the tests of one folder
# against each; lists the faults that no test caught (the survivors).
#
#   scripts/mutate.sh FOLDER [MUTANTS-FILE]
#
# FOLDER is a source folder with a test target named after it (spirometry/calc -> spirometry_calc_tests).
# The faults come from scripts/mutants/<FOLDER with / as _>.txt unless a file is given: one per line,
#   path<TAB>text as it stands<TAB>text to plant<TAB>what the fault means
# where the text as it stands must occur exactly once in the file; \n in either text stands for a line end
# (lines starting with # are comments).
# The scratch copy lives in build/mutate (kept between runs, so rebuilds are incremental); the sources are
# never touched.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
folder=${1:?usage: scripts/mutate.sh FOLDER [MUTANTS-FILE]}
folder=${folder%/}
name=${folder//\//_}
mutants=${2:-scripts/mutants/$name.txt}
target=${name}_tests
[ -d "$folder" ] || { echo "mutate: no folder $folder" >&2; exit 2; }
[ -f "$mutants" ] || { echo "mutate: no list of faults $mutants" >&2; exit 2; }

scratch=$root/build/mutate
src=$scratch/src
bin=$scratch/build
rm -rf "$src"
mkdir -p "$src" "$bin"
# Copied with their times, so that the scratch build only rebuilds what changed since the last run.
tar -C "$root" --exclude=./build --exclude=./.git -cf - . | tar -C "$src" -xpf -
# A run stopped while a fault was planted leaves objects built from it that are newer than the fresh
# copy: the file it names is rebuilt.
planted_marker=$scratch/planted
[ -f "$planted_marker" ] && touch "$src/$(cat "$planted_marker")"
cmake -S "$src" -B "$bin" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKYMORA_GUI=OFF -DKYMORA_BENCH=OFF >/dev/null

build_and_test() {
  cmake --build "$bin" --target "$target" -j "$(nproc)" >"$scratch/build.log" 2>&1 || return 2
  ctest --test-dir "$bin/$folder" -j "$(nproc)" --timeout 120 >"$scratch/test.log" 2>&1 || return 1
  return 0
}

echo "mutate: $folder, faults from $mutants"
if ! build_and_test; then
  echo "mutate: the tests of $folder do not pass before any fault is planted; see $scratch/*.log" >&2
  exit 1
fi

caught=0 survived=0 skipped=0
survivors=()
while IFS=$'\t' read -r path original planted meaning; do
  [[ -z "$path" || "$path" == \#* ]] && continue
  # read folds runs of tabs, so an empty field shifts the ones after it.
  if [[ -z "$meaning" ]]; then
    echo "  skipped (a field is empty; plant /* removed */ to delete text): $path: $planted"
    skipped=$((skipped + 1))
    continue
  fi
  file=$src/$path
  count=$(python3 - "$file" "$original" <<'EOF'
import sys
try:
    print(open(sys.argv[1], encoding="utf-8").read().count(sys.argv[2].replace("\\n", "\n")))
except OSError:
    print(0)
EOF
)
  if [ "$count" != 1 ]; then
    echo "  skipped ($count matches): $path: $meaning"
    skipped=$((skipped + 1))
    continue
  fi
  cp -p "$file" "$scratch/original"
  echo "$path" >"$planted_marker"
  python3 - "$file" "$original" "$planted" <<'EOF'
import sys
path, old, new = (a.replace("\\n", "\n") for a in sys.argv[1:4])
text = open(path, encoding="utf-8").read()
open(path, "w", encoding="utf-8").write(text.replace(old, new, 1))
EOF
  set +e
  build_and_test
  status=$?
  set -e
  cp -p "$scratch/original" "$file"
  touch "$file"
  case $status in
    0) survived=$((survived + 1)); survivors+=("$path: $meaning"); echo "  SURVIVED: $path: $meaning" ;;
    1) caught=$((caught + 1)); echo "  caught: $path: $meaning" ;;
    2) skipped=$((skipped + 1)); echo "  skipped (does not build): $path: $meaning" ;;
  esac
done <"$mutants"
cmake --build "$bin" --target "$target" -j "$(nproc)" >/dev/null 2>&1 && rm -f "$planted_marker"

echo "mutate: $folder: $caught of $((caught + survived)) planted faults caught, $skipped skipped"
for s in "${survivors[@]}"; do echo "  survivor: $s"; done
