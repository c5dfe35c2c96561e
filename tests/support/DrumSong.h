#pragma once

// Songs made of the deck's own drum sounds at a known tempo, for the tempo and beat tests.

#include "samples/QuelmoSampleBuffers.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace quelmo::test {

inline constexpr double songRate = 44100.0;

// Stereo, interleaved, with the same signal in both channels.
struct Song {
    double bpm = 120.0;
    double firstBeat = 0.0; // where the groove's first downbeat sounds
    std::vector<float> samples;
};

enum class DrumPattern { fourOnTheFloor, breakbeat, syncopatedWithBass };

// A groove of `seconds` after `intro` seconds of a steady pad and noise without any beat: kick on
// every beat, snare on two and four (four on the floor); a breakbeat with syncopated kicks and a
// ghost snare; or syncopated kicks over a bass line. The last two swing their odd sixteenths by a
// third. Hats throughout, a pad chord and noise at -40 dBFS from the start.
inline Song renderDrumSong(double bpm, DrumPattern pattern, double seconds, double intro) {
    Song song{bpm, intro, {}};
    const auto frames = static_cast<std::size_t>((intro + seconds) * songRate);
    std::vector<float> mono(frames, 0.0f);
    auto put = [&](const QuelmoSampleBuffers::Buffer& sound, double at, float gain) {
        const auto start = static_cast<std::size_t>(std::lround(at * songRate));
        const auto samples = sound->channel(0);
        for (std::size_t i = 0; i < samples.size() && start + i < frames; ++i) {
            mono[start + i] += samples[i] * gain;
        }
    };
    const auto kick = QuelmoSampleBuffers::kick();
    const auto snare = QuelmoSampleBuffers::snare();
    const auto hat = QuelmoSampleBuffers::hiHat();
    const auto bass = QuelmoSampleBuffers::bassNote();
    const double sixteenth = 60.0 / bpm / 4.0;
    const double swing = pattern == DrumPattern::fourOnTheFloor ? 0.0 : sixteenth / 3.0;
    for (int step = 0;; ++step) {
        const double at = intro + step * sixteenth;
        if (at >= intro + seconds) {
            break;
        }
        const int s = step % 16;
        const double swung = at + ((s % 2 == 1) ? swing : 0.0);
        switch (pattern) {
        case DrumPattern::fourOnTheFloor:
            if (s % 4 == 0) put(kick, at, 0.9f);
            if (s == 4 || s == 12) put(snare, at, 0.6f);
            if (s % 2 == 0) put(hat, at, 0.25f);
            break;
        case DrumPattern::breakbeat:
            if (s == 0 || s == 6 || s == 10) put(kick, at, 0.9f);
            if (s == 4 || s == 12) put(snare, at, 0.7f);
            if (s == 15) put(snare, swung, 0.25f);
            put(hat, swung, s % 2 == 0 ? 0.25f : 0.12f);
            break;
        case DrumPattern::syncopatedWithBass:
            if (s == 0 || s == 7 || s == 10) put(kick, swung, 0.9f);
            if (s == 4 || s == 12) put(snare, at, 0.7f);
            if (s == 0 || s == 3 || s == 6 || s == 10 || s == 14) put(bass, swung, 0.5f);
            if (s % 2 == 0) put(hat, at, 0.2f);
            break;
        }
    }
    // The steady pad (a minor chord) and the noise, from the very start.
    std::uint32_t noise = 12345u + static_cast<std::uint32_t>(bpm * 10);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / songRate;
        const double pad = std::sin(2 * M_PI * 220.0 * t) + std::sin(2 * M_PI * 261.6 * t) +
                           std::sin(2 * M_PI * 329.6 * t);
        noise = noise * 1664525u + 1013904223u;
        const double white = static_cast<double>(noise) / 4294967296.0 * 2.0 - 1.0;
        mono[i] += static_cast<float>(0.04 * pad + 0.01 * white);
    }
    song.samples.resize(frames * 2);
    for (std::size_t i = 0; i < frames; ++i) {
        song.samples[2 * i] = song.samples[2 * i + 1] = mono[i];
    }
    return song;
}

} // namespace quelmo::test
