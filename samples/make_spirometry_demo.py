#!/usr/bin/env python3
"""Writes spirometry_demo.csv: a synthetic flow-head recording made for the demo and the tests.

Three minutes at 1 kHz of the voltage of a pneumotachograph flow head with a head scale of 40.1 L/s per V
(the "Vantor 1000L" preset, linear): quiet tidal breathing with three forced vital-capacity manoeuvres.
Positive flow is inspiration, negative flow is expiration. The signal is a model, not a measurement:

  * tidal breaths: 4 s cycles (15 per minute), inspiration 1.6 s and expiration 2.4 s, each half a sine;
    tidal volume 0.5 L, varied by a few per cent from breath to breath;
  * a forced manoeuvre: a deep inspiration of the forced vital capacity over 2 s (half a sine), then a
    forced expiration that rises linearly to the peak expiratory flow in 80 ms and decays exponentially,
    followed by 2 s of near-zero flow before tidal breathing resumes;
  * two seconds of quiet at the start, so the first breath begins at a zero crossing like the others;
  * a small amplifier offset and deterministic noise (a fixed-seed generator), so every run writes the
    same bytes.

A second block of four seconds holds a calibration stroke: a 3 L syringe emptied through the head at rest
(half a sine of flow over 1.5 s, from 1 s to 2.5 s), with the same offset and noise, so that a calibration
over it gives back the head scale (`kymora calibrate FILE --channel 1 --volume 3 --block 2`).

The manoeuvres' parameters (peak flow, time constant) and the resulting FVC and FEV1 of the model are
printed, so the analysis of the demo can be compared with what went in.
"""
import math
import random
import sys

RATE = 1000
HEAD_SCALE = 40.1          # L/s per V
OFFSET_V = 0.00005         # amplifier offset, smaller than the noise so that quiet flow crosses zero
NOISE_V = 0.00015          # noise amplitude (uniform, volts)
FORCED = [                 # (start of the manoeuvre in s, peak expiratory flow L/s, time constant s)
    (40.0, 7.0, 0.55),
    (90.0, 7.6, 0.50),
    (140.0, 6.8, 0.60),
]
DURATION = 180.0
SYRINGE_L = 3.0            # the calibration stroke's volume
STROKE = (1.0, 1.5)        # its start and length in s, within a block of
STROKE_BLOCK = 4.0         # seconds


def forced_expiration(t, pef, tau, rise=0.08):
    """Expiratory flow (negative) t seconds after the start of a forced expiration."""
    if t < rise:
        return -pef * t / rise
    return -pef * math.exp(-(t - rise) / tau)


def forced_volumes(pef, tau, length, rise=0.08):
    """FVC (volume expired over `length` seconds) and FEV1 of the model, by integration."""
    dt = 1.0 / RATE
    fvc = fev1 = 0.0
    for i in range(int(length * RATE)):
        v = -forced_expiration(i * dt, pef, tau, rise) * dt
        fvc += v
        if i < RATE:
            fev1 += v
    return fvc, fev1


def build():
    rnd = random.Random(20261207)
    n = int(DURATION * RATE)
    flow = [0.0] * n
    k = 2 * RATE  # two seconds of quiet first; whole samples, so segments join without gaps
    breath = 0
    notes = []
    forced = list(FORCED)

    def half_sine(start, count, peak):
        for i in range(count):
            if start + i < n:
                flow[start + i] = peak * math.sin(math.pi * i / count)

    while k < n - 4 * RATE:
        if forced and k >= forced[0][0] * RATE:
            _, pef, tau = forced.pop(0)
            insp, exp_len, pause = 2 * RATE, 6 * RATE, 2 * RATE
            fvc, fev1 = forced_volumes(pef, tau, exp_len / RATE)
            # A deep inspiration of the volume about to be expired, so the volume comes back to its level.
            half_sine(k, insp, math.pi / 2 * fvc / (insp / RATE))
            k += insp
            for i in range(exp_len):
                if k + i < n:
                    flow[k + i] = forced_expiration(i / RATE, pef, tau)
            notes.append((k / RATE, pef, fvc, fev1))
            k += exp_len + pause
            continue
        vt = 0.5 * (1.0 + 0.06 * math.sin(breath * 1.7))
        ti, te = int(1.6 * RATE), int(2.4 * RATE)
        half_sine(k, ti, math.pi / 2 * vt / (ti / RATE))
        half_sine(k + ti, te, -math.pi / 2 * vt / (te / RATE))
        k += ti + te
        breath += 1
    volts = [f / HEAD_SCALE + OFFSET_V + rnd.uniform(-NOISE_V, NOISE_V) for f in flow]
    return volts, notes, stroke(rnd)


def stroke(rnd):
    """The calibration block: the syringe's volume pushed through the head at rest, as the head's voltage."""
    flow = [0.0] * int(STROKE_BLOCK * RATE)
    start, count = int(STROKE[0] * RATE), int(STROKE[1] * RATE)
    peak = math.pi / 2 * SYRINGE_L / STROKE[1]
    for i in range(count):
        flow[start + i] = peak * math.sin(math.pi * i / count)
    return [f / HEAD_SCALE + OFFSET_V + rnd.uniform(-NOISE_V, NOISE_V) for f in flow]


def main(path):
    volts, notes, calibration = build()
    with open(path, "w", newline="\n") as out:
        out.write("# Synthetic flow-head recording for the spirometry demo; made by make_spirometry_demo.py.\n")
        out.write("# Head scale 40.1 L/s per V (preset \"Vantor 1000L\"), 1 kHz, inspiration positive.\n")
        out.write("Time (s),Flow head (V)\n")
        for i, v in enumerate(volts):
            out.write("%.3f,%.6f\n" % (i / RATE, v))
        out.write("# block\n")
        out.write("# Calibration: a %g L syringe emptied through the head from %g s to %g s.\n"
                  % (SYRINGE_L, STROKE[0], STROKE[0] + STROKE[1]))
        for i, v in enumerate(calibration):
            out.write("%.3f,%.6f\n" % (i / RATE, v))
    for start, pef, fvc, fev1 in notes:
        print("forced expiration at %.3f s: PEF %.2f L/s, FVC %.3f L, FEV1 %.3f L, FEV1/FVC %.1f %%"
              % (start, pef, fvc, fev1, 100 * fev1 / fvc))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "spirometry_demo.csv")
