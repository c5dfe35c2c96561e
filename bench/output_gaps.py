#!/usr/bin/python3
"""Gaps in what the sink played while the deck should sound without a break: runs of silence in a
recording of the sink's monitor (quelmo_monitor_recorder, blocks stamped on CLOCK_MONOTONIC).

  output_gaps.py PREFIX START_NS END_NS LABEL
      PREFIX   the recorder's PREFIX.f32 and PREFIX.blocks
      START_NS, END_NS   the stretch to look at, on CLOCK_MONOTONIC
  A gap is a run of at least 2 ms with every sample below 1e-4: several tones sounding together
  never go that quiet, a sink that ran dry does. Prints the gaps, their longest, and how much of the
  stretch was recorded (a recorder that fell behind would hide gaps).
"""
import sys

import numpy as np

from click_latency import RATE, sample_times

MIN_GAP = int(0.002 * RATE)


def main():
    prefix, start, end, label = sys.argv[1], int(sys.argv[2]) / 1e9, int(sys.argv[3]) / 1e9, sys.argv[4]
    signal, times, _, _ = sample_times(prefix)
    begin, stop = int(np.searchsorted(times, start)), int(np.searchsorted(times, end))
    part = np.abs(signal[begin:stop]) < 1e-4
    if not len(part):
        print(f"{label}: nothing recorded in the stretch")
        sys.exit(1)
    # Run lengths of the quiet samples.
    edges = np.flatnonzero(np.diff(np.concatenate(([0], part.astype(np.int8), [0]))))
    runs = edges[1::2] - edges[0::2]
    gaps = runs[runs >= MIN_GAP]
    longest = gaps.max() * 1000 / RATE if len(gaps) else 0.0
    print(f"{label}: {len(gaps)} gaps of 2 ms or more in {(stop - begin) / RATE:.1f} s recorded "
          f"of {end - start:.1f} s (longest {longest:.1f} ms)")


if __name__ == "__main__":
    main()
