#!/usr/bin/python3
"""Tap-to-sound latency on one clock: a test microphone's monitor and the output's monitor, both
recorded by quelmo_monitor_recorder (blocks stamped on CLOCK_MONOTONIC).

  tap_latency.py MIC_PREFIX OUT_PREFIX KIND LABEL [--ends N]
      KIND  "kick":  the deck's kick in the output, found by normalised correlation
            "burst": the first sample louder than 0.05 (the tap itself passed straight through)
  Each tap is the first sample louder than 0.05 in the microphone after 0.3 s of quiet; its sound
  is the first onset in the output within 200 ms after it. Both times are when the sink mixed the
  sample. Prints the median and 90th percentile; with --ends N also the medians of the first and the
  last N taps (whether the delay creeps over a long run).
"""
import sys

import numpy as np

from click_latency import kick_template, sample_times

RATE = 44100


def main():
    mic_prefix, out_prefix, kind, label = sys.argv[1:5]
    mic, mic_times, _, _ = sample_times(mic_prefix)
    out, out_times, _, _ = sample_times(out_prefix)
    loud = np.flatnonzero(np.abs(mic) > 0.05)
    taps = [loud[0]] if len(loud) else []
    for index in loud[1:]:
        if mic_times[index] - mic_times[taps[-1]] > 0.3:
            taps.append(index)
    if kind == "kick":
        kick = kick_template()
        correlation = np.correlate(out, kick, mode="valid")
        norms = np.sqrt(np.convolve(out ** 2, np.ones(len(kick)), mode="valid"))
        score = correlation / (np.linalg.norm(kick) * np.maximum(norms, 1e-9))
    latencies = []
    for tap in taps:
        t = mic_times[tap]
        begin = int(np.searchsorted(out_times, t - 0.010))
        end = int(np.searchsorted(out_times, t + 0.200))
        onset = None
        if kind == "burst":
            hits = np.flatnonzero(np.abs(out[begin:end]) > 0.05)
            if len(hits):
                onset = begin + int(hits[0])
        else:
            window = score[begin:min(end, len(score))]
            if len(window) and window.max() >= 0.8:
                onset = begin + int(np.argmax(window))
        if onset is not None:
            latencies.append((out_times[onset] - t) * 1000)
    found = np.array(latencies)
    if len(found) < 3:
        print(f"{label}: too few onsets found ({len(found)} of {len(taps)} taps)")
        sys.exit(1)
    print(f"{label}: median {np.median(found):.1f} ms, p90 {np.percentile(found, 90):.1f} ms, "
          f"range {found.min():.1f} to {found.max():.1f} ms, {len(found)} of {len(taps)} taps")
    if "--ends" in sys.argv:
        n = int(sys.argv[sys.argv.index("--ends") + 1])
        print(f"{label}: first {n} median {np.median(found[:n]):.1f} ms, last {n} median {np.median(found[-n:]):.1f} ms")


if __name__ == "__main__":
    main()
