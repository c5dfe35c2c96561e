#!/usr/bin/python3
"""Finds every onset of one of the deck's sounds in a recording and measures how far the onsets lie
from a steady grid.

  grid_onsets.py RECORDING.wav SOUND PERIOD_FRAMES [GAPS]

SOUND is tick, kick or clap, synthesised here exactly as the deck does. PERIOD_FRAMES is the grid
spacing in frames (a beat at 120 BPM is 22050). Prints one line:

  SOUND <onsets> <missing> <breaks> <damaged> <std_samples> <max_samples> <std_ms> <max_ms>

where the deviations are those of each onset from the best-fitting grid of that period, each of
its places rounded to a frame as the deck books a hit (so a hit on time deviates by nothing, and a
deviation is a whole number of samples), and <missing> counts grid places between the first and
last onset with no onset.

A gap in the output stream (the sound server ran out of audio and played silence) delays everything
after it, so the recording's timeline breaks there. GAPS is how many gaps the player reported
during the recording (0 when not given): at most two breaks per gap are allowed, each a place where
every later onset moved by the same amount, the largest such moves first. A gap can break the
timeline twice: silence while the stream ran dry, then a move back where the server skipped the part
of the late audio that was already due. The deviations are measured within the stretches between
breaks; <breaks> is how many were used. A single hit off its grid, the onsets after it back where
they were, is a timing fault, unless a gap was reported: a hit that sounded between a gap's silence
and the skip back moved alone, and takes that gap's two breaks. A hit with a gap inside it no longer
matches its sound exactly (and its match peak moves): such hits are counted as <damaged> and left
out of the deviations. The hit just before a break is left out of them too (not counted as damaged):
the gap may have fallen in its quiet tail. A hit cut off by either end of the recording, or ending
within 50 ms of its end, is left out.

Each sound is looked for in its own band (the tick above 500 Hz, the kick below 400 Hz), so a click
inside a kick's tail is still found; the match is the normalised correlation with the sound, and its
peak is the onset to the sample.
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


def f32(x):
    return np.asarray(x, dtype=np.float32)


def tick():
    t = np.arange(1323) / RATE
    return (f32(np.sin(2 * np.pi * 1200.0 * t)) * f32(np.exp(-120.0 * t)) * np.float32(0.35)).astype(np.float64)


def kick():
    t = np.arange(7938) / RATE
    osc = f32(np.sin(2 * np.pi * (58 + 40 * np.exp(-30 * t)) * t))
    return (osc * f32(np.exp(-14.0 * t)) * np.float32(0.95)).astype(np.float64)


def clap():
    i = np.arange(4410)
    t = i / RATE
    return (f32(np.sin(11.7 * i + 900.0 * t)) * f32(np.exp(-35.0 * t)) * np.float32(0.45)).astype(np.float64)


SOUNDS = {"tick": (tick, 500.0, None), "kick": (kick, None, 400.0), "clap": (clap, None, None)}


def band(x, n, low, high):
    spectrum = np.fft.rfft(x, n)
    freqs = np.fft.rfftfreq(n, 1 / RATE)
    if low is not None:
        spectrum[freqs < low] = 0
    if high is not None:
        spectrum[freqs > high] = 0
    return spectrum


def matches(signal, reference, low, high):
    """Normalised correlation of signal with reference at every lag, in the sound's band."""
    m = len(reference)
    n = 1 << int(np.ceil(np.log2(len(signal) + m)))
    s = band(signal, n, low, high)
    r = band(reference, n, low, high)
    filtered = np.fft.irfft(s, n)[: len(signal)]
    ref = np.fft.irfft(r, n)[:m]
    correlation = np.fft.irfft(s * np.conj(np.fft.rfft(ref, n)), n)[: len(signal) - m + 1]
    energy = np.concatenate(([0.0], np.cumsum(filtered ** 2)))
    windows = np.sqrt(np.maximum(energy[m:] - energy[:-m], 1e-18))
    return correlation / (np.linalg.norm(ref) * windows)


def onsets(score, spacing, threshold=0.8):
    found = []
    candidates = np.flatnonzero(score > threshold)
    i = 0
    while i < len(candidates):
        start = candidates[i]
        if found and start < found[-1] + 0.75 * spacing:
            # Inside the tail of the hit just found: a decaying sound can match its own start
            # there once the match is normalised to the level. Hits are a grid step apart.
            i += 1
            continue
        # A hit's match stays high for a few samples around its peak: take the best within half a
        # grid step.
        stop = start + spacing // 2
        j = i
        while j < len(candidates) and candidates[j] < stop:
            j += 1
        window = candidates[i:j]
        found.append(int(window[np.argmax(score[window])]))
        i = j
    return np.array(found, dtype=np.int64)


def rounded_grid(offsets, places, period):
    """The grid the onsets at offsets (frames from the first) follow: the deck books each hit on the
    frame nearest its exact time, so the grid is place * period plus a phase, rounded to a frame.
    The phase is the one that leaves the fewest moves between neighbouring onsets (a timeline that
    slips by a frame at a gap moves once), then the smallest spread."""
    best = None
    for phase in np.arange(0.0, 1.0, 0.01):
        grid = np.floor(phase + places * period)
        residual = offsets - grid
        score = (np.count_nonzero(np.diff(residual)), np.sum(np.abs(residual - np.median(residual))))
        if best is None or score < best[0]:
            best = (score, grid)
    return best[1]


def analyse(signal, sound, period, gaps=0):
    """(onsets, missing, breaks, damaged, std_samples, max_samples) of sound in signal."""
    make, low, high = SOUNDS[sound]
    score = matches(signal, make(), low, high)
    found = onsets(score, int(period))
    # A hit the recording began or ended inside is not judged: the tail of a decaying sound can
    # match its own start, so one the recording began in is found at the wrong place. Nor is one
    # that ends within 50 ms of the end: a recording stopped while the hit still rang ends in a
    # step, and the band filter's ringing from that step lowers the hit's match.
    length = len(make())
    edge = RATE // 20
    whole = found[(found >= length) & (found + length + edge <= len(signal))]
    intact = whole[score[whole] >= 0.99]
    damaged = len(whole) - len(intact)
    missing = 0
    if len(whole) > 1:
        heard = np.round((whole - whole[0]) / period)
        missing = int(heard[-1] + 1 - len(np.unique(heard)))
    if len(intact) < 2:
        return len(whole), missing, 0, damaged, float("nan"), float("nan")
    offsets = intact - intact[0]
    residual = offsets - rounded_grid(offsets, np.round(offsets / period), period)
    # A break: the residual moves and the next onset does not go back (it may move again: two gaps
    # in a row). Onsets and grid are whole frames, so every move is a whole number of them.
    candidates = []
    for k in range(1, len(residual)):
        move = abs(residual[k] - residual[k - 1])
        goes_back = k + 1 < len(residual) and residual[k + 1] == residual[k - 1]
        if move > 0 and not goes_back:
            candidates.append((move, [k]))
        elif move > 0 and gaps > 0:
            # A hit that fell between a gap's silence and the server's skip back: it alone moved,
            # by the gap's length. Both of that gap's breaks go to it.
            candidates.append((move, [k, k + 1]))
    # A gap can show as two moves: the silence while the stream ran dry, then a move back when the
    # server skips the part of the late audio that was already due.
    chosen = []
    for _, ks in sorted(candidates, reverse=True):
        if len(chosen) + len(ks) <= 2 * gaps:
            chosen += ks
    starts = [0] + sorted(chosen)
    # The hit just before a break may hold the gap's silence in its tail, where too little of the
    # sound is left to lower its match below 0.99 but enough to move its peak by a sample: it is not
    # judged. Without reported gaps there are no breaks, so every hit is.
    judged = np.ones(len(residual), dtype=bool)
    judged[[k - 1 for k in chosen]] = False
    deviation = np.zeros_like(residual)
    for a, b in zip(starts, starts[1:] + [len(residual)]):
        keep = judged[a:b]
        if keep.any():
            values, counts = np.unique(residual[a:b][keep], return_counts=True)
            deviation[a:b] = np.where(keep, residual[a:b] - values[np.argmax(counts)], 0.0)
    deviation = deviation[judged]
    return len(whole), missing, len(starts) - 1, damaged, float(np.std(deviation)), float(np.max(np.abs(deviation)))


def main():
    signal = load(sys.argv[1])
    sound = sys.argv[2]
    period = float(sys.argv[3])
    gaps = int(sys.argv[4]) if len(sys.argv) > 4 else 0
    count, missing, breaks, damaged, std, worst = analyse(signal, sound, period, gaps)
    print(f"{sound} {count} {missing} {breaks} {damaged} {std:.3f} {worst:.3f} "
          f"{std / RATE * 1e3:.4f} {worst / RATE * 1e3:.4f}")


if __name__ == "__main__":
    main()
