#!/usr/bin/env python3
"""The gaps of a heartbeat file written by libquelmo_heartbeat_preload.so.

Usage: heartbeat_gaps.py FILE

FILE holds "clock <realtime ns> <monotonic ns>" and then one CLOCK_MONOTONIC stamp (ns) a line, the
first taken as the application object was created. The first gap is the scene's load, before the
event loop first runs; it is given apart. Prints one line: that gap, then the largest,
99th-percentile and median gap of the beats after it, and the three largest gaps with when each
began (seconds after the application object was created).
"""
import sys


def percentile(sorted_values, share):
    if not sorted_values:
        return 0.0
    index = min(int(share * (len(sorted_values) - 1) + 0.5), len(sorted_values) - 1)
    return sorted_values[index]


def main():
    with open(sys.argv[1]) as f:
        f.readline()
        stamps = [int(line) for line in f if line.strip()]
    if len(stamps) < 3:
        print("too few beats")
        return
    first_gap = (stamps[1] - stamps[0]) / 1e6
    beats = stamps[1:]
    timed = [((b - a) / 1e6, (a - stamps[0]) / 1e9) for a, b in zip(beats, beats[1:])]
    gaps = sorted(g for g, _ in timed)
    top = ", ".join(f"{g:.0f} ms at {t:.2f} s" for g, t in sorted(timed, reverse=True)[:3])
    print(f"scene load {first_gap:5.0f} ms; then {len(gaps)} beats: largest gap {gaps[-1]:6.1f} ms, "
          f"p99 {percentile(gaps, 0.99):5.1f} ms, median {percentile(gaps, 0.5):4.1f} ms (largest: {top})")


if __name__ == "__main__":
    main()
