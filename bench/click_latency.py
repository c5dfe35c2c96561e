#!/usr/bin/python3
"""Click-to-sound latency on one clock: XTest presses and recorded monitor blocks, both stamped on
CLOCK_MONOTONIC (quelmo_xtest_press, quelmo_monitor_recorder).

  click_latency.py PREFIX PRESSES KIND LABEL [--first-apart] [--from-release] [--window MS]
      PREFIX   the recorder's PREFIX.f32 and PREFIX.blocks
      PRESSES  quelmo_xtest_press's output; with --from-release latencies count from each release
               (the click of a control that acts when the button comes up)
      KIND     "burst": the first sample louder than 0.05 after the press (a bare client's burst);
               "kick":  the deck's kick, found by normalised correlation with it as the deck
                        synthesises it
  A sample's time is the stamp of its block (when the block reached the recorder) minus the frames
  that follow it in the block: when the sink mixed it. The sink's clock plays it later by the sink's
  latency, which the server reports (negated) as the monitor stream's latency; both are printed.
  Prints one line per press, then the median and 90th percentile; with --first-apart the first press
  (which wakes a sleeping output) is reported on its own. An onset is looked for up to --window ms
  (300 unless told) after the press.
"""
import sys

import numpy as np

RATE = 44100


def sample_times(prefix):
    samples = np.fromfile(prefix + ".f32", dtype=np.float32).astype(np.float64)
    blocks = np.loadtxt(prefix + ".blocks", dtype=np.int64, ndmin=2)
    ends, stamps, lead = blocks[:, 0], blocks[:, 1], blocks[:, 2]
    starts = np.concatenate(([0], ends[:-1]))
    lengths = ends - starts
    index = np.arange(len(samples))
    block_of = np.repeat(np.arange(len(blocks)), lengths)[: len(samples)]
    times = (stamps[block_of] - (ends[block_of] - 1 - index) * 1e9 / RATE) / 1e9
    # A monitor's latency is negative: the sink mixes ahead of its clock by its own latency.
    played = times - lead[block_of] / 1e6
    return samples, times, played, lengths


def kick_template():
    k = np.arange(7938) / RATE
    return (np.sin(2 * np.pi * (58 + 40 * np.exp(-30 * k)) * k).astype(np.float32)
            * np.exp(-14.0 * k).astype(np.float32) * np.float32(0.95)).astype(np.float64)


def main():
    prefix, presses_file, kind, label = sys.argv[1:5]
    options = sys.argv[5:]
    first_apart = "--first-apart" in options
    column = 2 if "--from-release" in options else 0
    span = float(options[options.index("--window") + 1]) / 1000 if "--window" in options else 0.300
    signal, times, played, lengths = sample_times(prefix)
    presses = np.loadtxt(presses_file, dtype=np.int64, ndmin=2)[:, column] / 1e9

    if kind == "kick":
        kick = kick_template()
        correlation = np.correlate(signal, kick, mode="valid")
        norms = np.sqrt(np.convolve(signal ** 2, np.ones(len(kick)), mode="valid"))
        score = correlation / (np.linalg.norm(kick) * np.maximum(norms, 1e-9))

    latencies = []
    later = []  # the same onsets by the sink's clock
    for n, press in enumerate(presses):
        begin = int(np.searchsorted(times, press - 0.050))
        end = int(np.searchsorted(times, press + span))
        onset = None
        if kind == "burst":
            loud = np.flatnonzero(np.abs(signal[begin:end]) > 0.05)
            if len(loud):
                onset = begin + int(loud[0])
        else:
            window = score[begin:min(end, len(score))]
            if len(window) and window.max() >= 0.8:
                onset = begin + int(np.argmax(window))
        if onset is None:
            print(f"{label} press {n + 1}: no onset within {span * 1000:.0f} ms")
            latencies.append(np.nan)
            later.append(np.nan)
            continue
        latencies.append((times[onset] - press) * 1000)
        later.append((played[onset] - press) * 1000)
        print(f"{label} press {n + 1}: {latencies[-1]:.2f} ms at the monitor, {later[-1]:.2f} ms by the sink's clock")

    lat = np.array(latencies)
    sink = np.array(later)
    if first_apart and len(lat):
        print(f"{label} first press, the output asleep: {lat[0]:.1f} ms")
        lat, sink = lat[1:], sink[1:]
    found = lat[~np.isnan(lat)]
    sink = sink[~np.isnan(sink)]
    if len(found) < 3:
        print(f"{label}: too few onsets found ({len(found)} of {len(lat)})")
        sys.exit(1)
    print(f"{label}: median {np.median(found):.1f} ms, p90 {np.percentile(found, 90):.1f} ms, "
          f"range {found.min():.1f} to {found.max():.1f} ms, {len(found)} of {len(lat)} presses; "
          f"by the sink's clock median {np.median(sink):.1f} ms, p90 {np.percentile(sink, 90):.1f} ms; "
          f"recorder blocks of {int(np.median(lengths))} frames (median)")


if __name__ == "__main__":
    main()
