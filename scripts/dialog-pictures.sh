#!/usr/bin/env bash
# Pictures of the spirometry dialogs on the sample recording (for docs/), from a built release tree:
#   scripts/dialog-pictures.sh [OUT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/browser-env.sh
bin=build/release/apps/kymora
out=${1:-docs}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
demo=$work/demo.kymo
"$bin/kymora" import samples/spirometry_demo.csv "$demo" >/dev/null
"$bin/kymora" spirometry "$demo" --raw-channel 1 --preset 3 --save >/dev/null
"$bin/kymora" calc "$demo" 4 SpTidalVolCalculation source=2 >/dev/null
"$bin/kymora" calc "$demo" 5 SpMinVentCalculation source=2 interval=30 >/dev/null
# The same with a units conversion of the user on the flow-head channel, which the flow set-up warns about.
converted=$work/converted.kymo
cp "$demo" "$converted"
"$bin/kymora" units "$converted" 1 --scale 40.1 --units L/s >/dev/null
shot() {
  local name=$1 file=$demo
  shift
  if [ "$1" = --file ]; then
    file=$2
    shift 2
  fi
  QT_QPA_PLATFORM=offscreen "$bin/kymora-gui" "$file" --screenshot "$out/$name" --size 1280x800 "$@"
}
# The blocks lie end to end on the chart's time axis: the syringe stroke (block 2) starts at 180 s.
shot dialog-settings.png --select 40-60 --open "Spirometry>Settings..."
shot dialog-flow.png --channel 2 --open "Channel>Calculation..." --dialog 2
shot dialog-flow-conversion-warning.png --file "$converted" --channel 2 --open "Channel>Calculation..." --dialog 3 --press 1
shot dialog-volume.png --select 40-60 --channel 3 --open "Channel>Calculation..." --dialog 2
shot dialog-calibration.png --select 180.75-182.75 --channel 2 --open "Channel>Calculation..." --dialog 3 --press 110
shot dialog-tidal-volume.png --channel 4 --open "Channel>Calculation..." --dialog 2
shot dialog-minute-ventilation.png --channel 5 --open "Channel>Calculation..." --dialog 2
# The report window's browser engine draws on a real X server.
xvfb-run -a -s "-screen 0 1600x1000x24" "$bin/kymora-gui" "$demo" --screenshot "$out/desktop-report.png" \
  --size 1280x800 --select 40-60 --open "Spirometry>Report"
xvfb-run -a -s "-screen 0 1600x1000x24" "$bin/kymora-gui" "$demo" --screenshot "$out/desktop-report-preview.png" \
  --size 1280x800 --select 40-60 --open "Spirometry>Report" --open "File>Print Preview..."
echo "dialog pictures in $out"
