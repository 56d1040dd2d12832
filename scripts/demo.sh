#!/usr/bin/env bash
# Installs what is missing, builds the optimised program and runs the main job on the bundled sample
# recording, printing where the report and the CSV export were written.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release -DKYMORA_TESTS=OFF -DKYMORA_BENCH=OFF
cmake --build build/release -j "$(nproc)" --target kymora spirometry_module
out=${1:-out/demo}
build/release/apps/kymora/kymora demo --out "$out"
