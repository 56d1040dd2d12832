#!/usr/bin/env bash
# Runs the spirometry benchmark and the numpy reference on the same synthetic flow-head recording and prints
# how they compare: CPU time of the analysis (and of the whole command, reading the file included), samples
# per second, the ratio to numpy, and the peak memory of `kymora spirometry` per sample.
#
#   bench/compare.sh [SAMPLES] [BUILD_DIR]      (defaults: 1e7, build/release; needs python3-numpy)
set -euo pipefail
samples=${1:-1e7}
build=${2:-build/release}
here=$(cd "$(dirname "$0")/.." && pwd)
[[ $build = /* ]] || build="$here/$build"
work=${TMPDIR:-/tmp}/kymora-compare
mkdir -p "$work"
recording="$work/flow_$samples.kymo"
[ -s "$recording" ] || "$build/bench/make_flow_recording" "$samples" "$recording"

load_before=$(cut -d' ' -f1 /proc/loadavg)
KYMORA_BENCH_RECORDING="$recording" "$build/bench/spirometry_bench" --benchmark_filter='BM_Recording' \
  --benchmark_repetitions="${REPETITIONS:-3}" --benchmark_format=json > "$work/bench.json" 2> "$work/bench.err"
/usr/bin/python3 "$here/bench/numpy_spirometry.py" "$recording" "${REPETITIONS:-3}" > "$work/numpy.txt"
/usr/bin/time -f '%M %U %S' -o "$work/time.txt" "$build/apps/kymora/kymora" spirometry "$recording" \
  --raw-channel 1 --preset 3 --json > /dev/null
load_after=$(cut -d' ' -f1 /proc/loadavg)

/usr/bin/python3 - "$work" "$recording" "$load_before" "$load_after" <<'PY'
import json, os, sys
work, recording, load_before, load_after = sys.argv[1:]
runs = json.load(open(os.path.join(work, "bench.json")))["benchmarks"]
def best(name):  # least CPU time of the repetitions, seconds
    times = [r["cpu_time"] / 1e3 for r in runs if r.get("run_name") == name and r.get("run_type") == "iteration"]
    return min(times)
ours, ours_command = best("BM_RecordingAnalysis"), best("BM_RecordingCommand")
numpy = dict(zip(*[iter(open(os.path.join(work, "numpy.txt")).read().split())] * 2))
n = int(numpy["samples"])
np_analysis, np_load, np_peak = float(numpy["analysis_s"]), float(numpy["load_s"]), int(numpy["peak_bytes"])
peak_kb, user, system = open(os.path.join(work, "time.txt")).read().split()
peak = int(peak_kb) * 1024
print("recording %s: %d samples, %.1f MB (load average %s before, %s after)"
      % (recording, n, os.path.getsize(recording) / 1e6, load_before, load_after))
print("%-36s %10s %14s %10s" % ("", "CPU s", "samples/s", "x numpy"))
print("%-36s %10.4f %14.3g %10.2f" % ("analysis, kymora", ours, n / ours, np_analysis / ours))
print("%-36s %10.4f %14.3g %10s" % ("analysis, numpy " + numpy["numpy"], np_analysis, n / np_analysis, "1"))
print("%-36s %10.4f %14.3g %10.2f" % ("reading and analysis, kymora", ours_command, n / ours_command,
                                     (np_analysis + np_load) / ours_command))
print("%-36s %10.4f %14.3g %10s" % ("reading and analysis, numpy", np_analysis + np_load, n / (np_analysis + np_load), "1"))
print("peak memory: kymora spirometry %.1f MB = %.2f B/sample (%.2f s CPU); numpy %.1f MB = %.2f B/sample"
      % (peak / 1e6, peak / n, float(user) + float(system), np_peak / 1e6, np_peak / n))
PY
