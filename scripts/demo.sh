#!/usr/bin/env bash
# Installs what is missing, builds the optimised program and runs the main job on the bundled sample
# recording, printing where the report, its PDF, the CSV export and the pictures were written.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
source scripts/browser-env.sh
cmake --preset release -DKYMORA_TESTS=OFF -DKYMORA_BENCH=OFF
cmake --build build/release -j "$(nproc)" --target kymora kymora-gui spirometry_module
out=${1:-out/demo}
build/release/apps/kymora/kymora demo --out "$out"
