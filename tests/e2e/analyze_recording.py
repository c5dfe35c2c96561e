#!/usr/bin/python3
"""Finds what the deck played in a recording of the null sink.

  analyze_recording.py RECORDING.wav tone [UNTIL_SECONDS]
                                             -> prints "tone <peak> <frequency_hz>" of the loudest 0.2 s
                                                (before UNTIL_SECONDS when given)
  analyze_recording.py RECORDING.wav kick    -> prints "kick <onset_seconds> <correlation>" for the best
                                                 match of the kick one-shot (as the deck synthesises it)
  analyze_recording.py RECORDING.wav kicks   -> prints "kicks <count> <onset_seconds> ..." for every
                                                 match of the kick, at least 0.25 s apart
"""
import sys

import numpy as np

from grid_onsets import RATE, kick, load


def kick_match(signal):
    """Normalised correlation of every stretch of the recording with the kick one-shot."""
    reference = kick()
    n = len(reference)
    if len(signal) < n:
        return np.zeros(0)
    correlation = np.correlate(signal, reference, mode="valid")
    windows = np.sqrt(np.convolve(signal ** 2, np.ones(n), mode="valid"))
    return correlation / (np.linalg.norm(reference) * np.maximum(windows, 1e-9))


def main():
    signal = load(sys.argv[1])
    what = sys.argv[2]
    if what == "tone":
        if len(sys.argv) > 3:
            signal = signal[: int(float(sys.argv[3]) * RATE)]
        window = int(0.2 * RATE)
        energy = np.convolve(signal ** 2, np.ones(window), mode="valid")
        start = int(np.argmax(energy))
        part = signal[start:start + window]
        spectrum = np.abs(np.fft.rfft(part * np.hanning(len(part))))
        frequency = np.fft.rfftfreq(len(part), 1 / RATE)[int(np.argmax(spectrum))]
        print(f"tone {np.max(np.abs(part)):.4f} {frequency:.1f}")
    elif what == "kick":
        normalised = kick_match(signal)
        if len(normalised) == 0:
            print("kick 0 0")
            return
        best = int(np.argmax(normalised))
        print(f"kick {best / RATE:.4f} {normalised[best]:.4f}")
    elif what == "kicks":
        normalised = kick_match(signal)
        onsets = []
        order = np.argsort(-normalised)
        for index in order:
            if normalised[index] < 0.8:
                break
            if all(abs(int(index) - o) >= 0.25 * RATE for o in onsets):
                onsets.append(int(index))
        onsets.sort()
        print("kicks", len(onsets), " ".join(f"{o / RATE:.4f}" for o in onsets))


if __name__ == "__main__":
    main()
