#!/usr/bin/python3
"""Click tracks for SYNC, and how far their beats land from the metronome's clicks in a recording.

  synced_beats.py make OUT.wav BPM HZ SECONDS
      writes a mono click track: 3 ms of a sine at HZ on every beat at BPM, the first at 0.3 s

  synced_beats.py measure RECORDING.wav HZ [HZ ...]
      finds the metronome's ticks (1200 Hz) and each click track's beats (HZ) in the recording and
      prints one line per track: "HZ <beats> <ticks> <median_ms> <worst_ms> <unmatched>"

Each sound is looked for in its own band (a tenth either side of its frequency), on the envelope of
that band: the loudest frame of each burst of sound (a stretched click is smeared over a few ms).
The same search on the clean sound says where in the sound that frame lies, so the sound's start
is its loudest frame less that. A beat's offset is its distance to the nearest tick; <unmatched>
counts beats more than a quarter beat from every tick (a beat the metronome did not play). Beats
within 0.1 s of either end of the recording are left out.
"""
import sys
import wave

import numpy as np

from grid_onsets import RATE, load, tick


def click(hz):
    t = np.arange(132) / RATE
    return np.sin(2 * np.pi * hz * t) * 0.25


def make(path, bpm, hz, seconds):
    out = np.zeros(int(seconds * RATE))
    sound = click(hz)
    at = 0.3 * RATE
    while at + len(sound) < len(out):
        start = int(round(at))
        out[start:start + len(sound)] += sound
        at += 60.0 / bpm * RATE
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes((out * 32767).astype("<i2").tobytes())


def envelope(x, hz):
    """The magnitude of x's analytic signal within a tenth either side of hz."""
    n = len(x)
    spectrum = np.fft.fft(x)
    freqs = np.fft.fftfreq(n, 1 / RATE)
    keep = (freqs > hz * 0.9) & (freqs < hz * 1.1)  # positive frequencies only: the analytic signal
    return np.abs(np.fft.ifft(np.where(keep, spectrum, 0) * 2))


def bursts(env, threshold, quiet):
    """The loudest frame of each run of frames above threshold, runs split by `quiet` frames below it."""
    loud = np.flatnonzero(env > threshold)
    if len(loud) == 0:
        return []
    splits = np.flatnonzero(np.diff(loud) > quiet) + 1
    return [int(run[np.argmax(env[run])]) for run in np.split(loud, splits)]


def starts(signal, hz, sound):
    env = envelope(signal, hz)
    found = bursts(env, 0.3 * np.max(env), int(0.1 * RATE))
    padded = np.concatenate([np.zeros(RATE // 10), sound, np.zeros(RATE // 10)])
    own = bursts(envelope(padded, hz), 0.3 * np.max(envelope(padded, hz)), int(0.1 * RATE))[0] - RATE // 10
    edge = RATE // 10
    return np.array([f - own for f in found if edge < f < len(signal) - edge])


def measure(path, freqs):
    signal = load(path)
    ticks = starts(signal, 1200.0, tick())
    for hz in freqs:
        beats = starts(signal, hz, click(hz))
        if len(beats) == 0 or len(ticks) < 2:
            print(f"{hz:g} {len(beats)} {len(ticks)} 1000 1000 0")
            continue
        quarter = np.median(np.diff(ticks)) / 4
        nearest = np.array([np.min(np.abs(ticks - b)) for b in beats])
        matched = nearest[nearest < quarter] / RATE * 1000
        unmatched = int(np.sum(nearest >= quarter))
        median = np.median(matched) if len(matched) else 1000.0
        worst = np.max(matched) if len(matched) else 1000.0
        print(f"{hz:g} {len(beats)} {len(ticks)} {median:.3f} {worst:.3f} {unmatched}")


def main():
    if sys.argv[1] == "make":
        make(sys.argv[2], float(sys.argv[3]), float(sys.argv[4]), float(sys.argv[5]))
    else:
        measure(sys.argv[2], [float(f) for f in sys.argv[3:]])


if __name__ == "__main__":
    main()
