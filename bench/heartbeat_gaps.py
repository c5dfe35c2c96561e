#!/usr/bin/env python3
"""The gaps of a heartbeat file written by libquelmo_heartbeat_preload.so.

Usage: heartbeat_gaps.py FILE

FILE holds "clock <realtime ns> <monotonic ns>" and then a line a beat: its CLOCK_MONOTONIC stamp
and the main thread's CPU time (ns), the first taken as the application object was created. The
first gap is the scene's load, before the event loop first runs; it is given apart. Prints one
line: that gap, then the largest, 99th-percentile and median gap of the beats after it, the three
largest with when each began (seconds after the application object was created) and how much of
each the main thread spent on a core, and the largest such busy time of any gap: a gap far longer
than its busy time was spent waiting for a core, which other work on the machine decides.
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
        beats = [tuple(int(v) for v in line.split()) for line in f if line.strip()]
    if len(beats) < 3:
        print("too few beats")
        return
    first_gap = (beats[1][0] - beats[0][0]) / 1e6
    start = beats[0][0]
    running = beats[1:]
    # (gap ms, of it on a core ms, began s)
    timed = [((b[0] - a[0]) / 1e6, (b[1] - a[1]) / 1e6, (a[0] - start) / 1e9) for a, b in zip(running, running[1:])]
    gaps = sorted(g for g, _, _ in timed)
    busiest = max(busy for _, busy, _ in timed)
    top = ", ".join(f"{g:.0f} ms at {t:.2f} s ({busy:.0f} on a core)" for g, busy, t in sorted(timed, reverse=True)[:3])
    print(f"scene load {first_gap:5.0f} ms; then {len(gaps)} beats: largest gap {gaps[-1]:6.1f} ms, "
          f"p99 {percentile(gaps, 0.99):5.1f} ms, median {percentile(gaps, 0.5):4.1f} ms; largest busy {busiest:5.1f} ms "
          f"(largest gaps: {top})")

if __name__ == "__main__":
    main()
