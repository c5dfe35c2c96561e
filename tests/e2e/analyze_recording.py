#!/usr/bin/python3
"""Finds what the deck played in a recording of the null sink.

  analyze_recording.py RECORDING.wav tone [UNTIL_SECONDS]
                                             -> prints "tone <peak> <frequency_hz>" of the loudest 0.2 s
                                                (before UNTIL_SECONDS when given)
  analyze_recording.py RECORDING.wav kick    -> prints "kick <onset_seconds> <correlation>" for the best
                                                 match of the kick one-shot (as the deck synthesises it)
"""
import sys

import numpy as np

from grid_onsets import RATE, kick, load


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
        reference = kick()
        n = len(reference)
        if len(signal) < n:
            print("kick 0 0")
            return
        correlation = np.correlate(signal, reference, mode="valid")
        windows = np.sqrt(np.convolve(signal ** 2, np.ones(n), mode="valid"))
        normalised = correlation / (np.linalg.norm(reference) * np.maximum(windows, 1e-9))
        best = int(np.argmax(normalised))
        print(f"kick {best / RATE:.4f} {normalised[best]:.4f}")


if __name__ == "__main__":
    main()
