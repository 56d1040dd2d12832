#!/usr/bin/env python3
"""The spirometry analysis as a scientist would write it in numpy, on the same .kymo recording as
`kymora spirometry FILE --raw-channel 1 --preset 3`, for comparison with spirometry_bench:

    /usr/bin/python3 bench/numpy_spirometry.py RECORDING.kymo [REPEATS]

Prints one line: samples, CPU seconds to load the samples (sqlite3), best CPU seconds of the analysis (volts to
flow, cumulative sum, hysteresis zero crossings, PIF, PEF, VT/FVC and FEV1 of every breath, forced
breaths), breaths found, and peak memory of the process in bytes.
"""
import resource
import sqlite3
import sys
import time

import numpy as np

HEAD_SCALE = 40.1        # L/s per V, preset 3
DETECTION_LEVEL = 1.0    # % of the flow's full range
FORCED_THRESHOLD = 2.0   # x the average expired volume


def load(path):
    db = sqlite3.connect("file:%s?mode=ro" % path, uri=True)
    dt = db.execute("SELECT secs_per_tick FROM blocks WHERE block = 0").fetchone()[0]
    full_scale = db.execute("SELECT full_scale FROM channel_blocks WHERE block = 0 AND channel = 0").fetchone()[0]
    chunks = db.execute("SELECT samples FROM sample_chunks WHERE block = 0 AND channel = 0 ORDER BY chunk")
    volts = np.frombuffer(b"".join(row[0] for row in chunks), dtype="<f4")
    return volts, dt, full_scale


def analyse(volts, dt, full_scale):
    flow = volts * np.float32(HEAD_SCALE)
    volume = np.cumsum(flow, dtype=np.float64) * dt
    height = full_scale * HEAD_SCALE * DETECTION_LEVEL / 100.0
    # Hysteresis: a breath starts at the last upward zero crossing before the flow rises above the height,
    # once it has been below minus the height since the previous start.
    above, below = flow > height, flow < -height
    marked = np.flatnonzero(above | below)
    rising = above[marked]
    changes = marked[1:][rising[1:] & ~rising[:-1]]
    crossings = np.flatnonzero((flow[:-1] <= 0) & (flow[1:] > 0)) + 1
    starts = np.unique(crossings[np.searchsorted(crossings, changes, side="right") - 1])
    one_second = int(round(1.0 / dt))
    breaths = []
    for a, b in zip(starts[:-1], starts[1:]):
        v = volume[a:b]
        top = int(np.argmax(v))
        low = v[top:].min()
        after = a + top + one_second
        fev1 = v[top] - volume[after] if after < len(volume) else np.nan
        breaths.append((flow[a:b].max(), -flow[a:b].min(), v[top] - low, fev1))
    breaths = np.array(breaths)
    forced = breaths[:, 2] >= FORCED_THRESHOLD * breaths[:, 2].mean()
    return breaths, forced


def main():
    path = sys.argv[1]
    repeats = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    start = time.process_time()
    volts, dt, full_scale = load(path)
    load_seconds = time.process_time() - start
    best = float("inf")
    for _ in range(repeats):
        start = time.process_time()
        breaths, forced = analyse(volts, dt, full_scale)
        best = min(best, time.process_time() - start)
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
    print("numpy %s samples %d load_s %.4f analysis_s %.4f breaths %d forced %d peak_bytes %d"
          % (np.__version__, len(volts), load_seconds, best, len(breaths), int(forced.sum()), peak))


if __name__ == "__main__":
    main()
