#!/usr/bin/env python3
"""What a scientist would write in numpy for the same work as volume_bench and detection_bench, timed on
the same 10 million samples (1 kHz breathing), for comparison with the compiled enumerators.

    /usr/bin/python3 bench/numpy_reference.py        (Debian's python3-numpy)
"""
import time

import numpy as np

N = 10_000_000
RATE = 1000.0
DT = 1.0 / RATE


def breathing():
    t = np.arange(N, dtype=np.float64) * DT
    flow = 0.5 * np.sin(2 * np.pi * t / 4.0) + 0.01 * np.sin(2 * np.pi * 7.3 * t)
    return flow.astype(np.float32)


def best_of(fn, repeat=5):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        fn()
        times.append(time.perf_counter() - start)
    return min(times)


def volume(flow):
    # The running integral: volume[i] = sum of flow[0..i] * dt.
    return np.cumsum(flow, dtype=np.float64) * DT


def breaths(flow, height=0.08):
    # Breath starts: upward zero crossings, kept when the inspiration that follows exceeds the height and
    # the expiration before the next start falls below -height.
    positive = flow > 0
    starts = np.flatnonzero(~positive[:-1] & positive[1:]) + 1
    keep = []
    for a, b in zip(starts[:-1], starts[1:]):
        segment = flow[a:b]
        if segment.max() > height and segment.min() < -height:
            keep.append(a)
    return np.array(keep)


def main():
    flow = breathing()
    t_volume = best_of(lambda: volume(flow))
    t_breaths = best_of(lambda: breaths(flow))
    print("numpy %s, %d samples" % (np.__version__, N))
    print("volume (cumsum):          %7.1f ms  %6.0f M samples/s" % (t_volume * 1e3, N / t_volume / 1e6))
    print("breath starts (crossings): %6.1f ms  %6.0f M samples/s, %d breaths"
          % (t_breaths * 1e3, N / t_breaths / 1e6, len(breaths(flow))))


if __name__ == "__main__":
    main()
