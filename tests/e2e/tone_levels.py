#!/usr/bin/python3
"""How loud each of the given tones is in a recording of the null sink.

  tone_levels.py RECORDING.wav HZ [HZ ...]  -> prints "<rms> <level_1> <level_2> ..."

<rms> is the recording's RMS level; <level_k> is the amplitude of the sine at HZ_k (within 3 %),
read from the spectrum of the recording with a Hann window, so a tone of amplitude a reads close to a
whatever else is playing alongside it.
"""
import sys

import numpy as np

from grid_onsets import RATE, load


def main():
    signal = load(sys.argv[1])
    if len(signal) < RATE // 4:
        print(" ".join(["0"] * (len(sys.argv) - 1)))
        return
    window = np.hanning(len(signal))
    spectrum = np.abs(np.fft.rfft(signal * window)) * 2 / np.sum(window)
    freqs = np.fft.rfftfreq(len(signal), 1 / RATE)
    levels = []
    for hz in map(float, sys.argv[2:]):
        band = (freqs > hz * 0.97) & (freqs < hz * 1.03)
        # A sine between two bins spreads over its neighbours: sum their power.
        levels.append(np.sqrt(np.sum(spectrum[band] ** 2) / 1.5))
    rms = np.sqrt(np.mean(signal ** 2))
    print(f"{rms:.4f} " + " ".join(f"{level:.4f}" for level in levels))


if __name__ == "__main__":
    main()
