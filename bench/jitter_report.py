#!/usr/bin/python3
"""Onset timing of the two runs in a quelmo_jitter_bench recording.

  jitter_report.py RECORDING.wav PERIOD_FRAMES LABEL BOOKED_GAPS TIMER_GAPS

The recording holds two runs of one pattern separated by silence: the sequencer's booked hits, then
the hits fired from a main-thread timer. Prints one line per run: the label, the run, the number of
hits, grid places with no hit, timeline breaks (output gaps), hits cut by a gap, and the deviation of
the onsets from their ideal grid between breaks (standard deviation and maximum) in samples and ms.
The gap counts are the output gaps the bench reported during each run.
"""
import os
import sys

import numpy as np

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import grid_onsets  # noqa: E402


def stretches(signal, rate, quiet_seconds=1.0):
    """(start, end) sample ranges of sound separated by at least quiet_seconds of silence."""
    loud = np.flatnonzero(np.abs(signal) > 1e-3)
    if len(loud) == 0:
        return []
    gaps = np.flatnonzero(np.diff(loud) > quiet_seconds * rate)
    starts = np.concatenate(([loud[0]], loud[gaps + 1]))
    ends = np.concatenate((loud[gaps], [loud[-1]]))
    return list(zip(starts, ends))


def main():
    path, period, label = sys.argv[1], float(sys.argv[2]), sys.argv[3]
    gaps = [int(sys.argv[4]), int(sys.argv[5])]
    signal = grid_onsets.load(path)
    runs = stretches(signal, grid_onsets.RATE)
    for name, (start, end), allowed in zip(["booked", "timer"], runs[-2:], gaps):
        part = signal[max(0, start - 5000): end + 5000]
        hits, missing, breaks, cut, std, worst = grid_onsets.analyse(part, "clap", period, allowed)
        print(f"{label:5s} {name:7s} hits {hits:4d}  missing {missing}  gaps {allowed}  cut {cut}  "
              f"std {std:7.2f} samples ({std / 44.1:6.3f} ms)  max {worst:7.2f} samples ({worst / 44.1:6.3f} ms)")


if __name__ == "__main__":
    main()
