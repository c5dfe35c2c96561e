#!/usr/bin/python3
"""Pairs each click of the latency probe (a 5 kHz burst) with Quelmo's kick in a recording.

  click_latency.py RECORDING.wav  -> one line per click: "<probe_s> <kick_s> <delta_ms>", then a
                                     summary (the first click apart, the rest as median and max)
"""
import sys
import wave

import numpy as np

RATE = 44100


def main():
    with wave.open(sys.argv[1], "rb") as w:
        data = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2").astype(np.float64) / 32768.0
        signal = data.reshape(-1, w.getnchannels())[:, 0]
    t = np.arange(len(signal)) / RATE

    # The probe: the 5 kHz component's envelope, over 1 ms.
    demodulated = signal * np.exp(-2j * np.pi * 5000.0 * t)
    envelope = np.abs(np.convolve(demodulated, np.ones(44) / 44, mode="same"))
    loud = envelope > 0.5 * envelope.max()
    probe = [i for i in np.flatnonzero(loud[1:] & ~loud[:-1]) + 1]
    probe = [p for k, p in enumerate(probe) if k == 0 or p - probe[k - 1] > RATE // 5]

    # The kick, as the deck synthesises it, by normalised correlation.
    k = np.arange(7938) / RATE
    kick = (np.sin(2 * np.pi * (58 + 40 * np.exp(-30 * k)) * k).astype(np.float32)
            * np.exp(-14.0 * k).astype(np.float32) * np.float32(0.95)).astype(np.float64)
    correlation = np.correlate(signal, kick, mode="valid")
    norms = np.sqrt(np.convolve(signal ** 2, np.ones(len(kick)), mode="valid"))
    score = correlation / (np.linalg.norm(kick) * np.maximum(norms, 1e-9))

    gaps = []
    for p in probe:
        window = score[p:p + RATE // 5]
        if len(window) == 0 or window.max() < 0.8:
            continue
        onset = p + int(np.argmax(window))
        gaps.append((onset - p) / RATE * 1000)
        print(f"{p / RATE:.4f} {onset / RATE:.4f} {gaps[-1]:.2f}")
    if len(gaps) < 2:
        print("too few clicks matched")
        sys.exit(1)
    awake = np.array(gaps[1:])
    print(f"clicks matched: {len(gaps)}")
    print(f"first click after the output slept: kick {gaps[0]:.2f} ms after the probe burst")
    print(f"awake: kick after the probe burst median {np.median(awake):.2f} ms, max {awake.max():.2f} ms")
    print(f"estimated click-to-sound, awake: median {6.8 + np.median(awake):.1f} ms "
          f"(the 256-frame bare client's 6.8 ms floor + the gap)")


if __name__ == "__main__":
    main()
