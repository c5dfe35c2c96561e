#!/usr/bin/python3
"""Finds what the deck played in a recording of the null sink.

  analyze_recording.py RECORDING.wav tone [UNTIL_SECONDS]
                                             -> prints "tone <peak> <frequency_hz>" of the loudest 0.2 s
                                                (before UNTIL_SECONDS when given)
  analyze_recording.py RECORDING.wav kick    -> prints "kick <onset_seconds> <correlation>" for the best
                                                 match of the kick one-shot (as the deck synthesises it)
"""
import sys
import wave

import numpy as np

RATE = 44100


def load(path):
    with wave.open(path, "rb") as w:
        frames = w.readframes(w.getnframes())
        channels = w.getnchannels()
    data = np.frombuffer(frames, dtype="<i2").astype(np.float64) / 32768.0
    return data.reshape(-1, channels)[:, 0]


def kick():
    t = np.arange(7938) / RATE
    envelope = np.exp(-14.0 * t).astype(np.float32)
    osc = np.sin(2 * np.pi * (58 + 40 * np.exp(-30 * t)) * t).astype(np.float32)
    return (osc * envelope * np.float32(0.95)).astype(np.float64)


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
