#pragma once

#include "tracks/BeatGrid.h"
#include "engine/dsp/Biquad.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quelmo {

// Finds a track's tempo and beat grid from its mono mix, fed in order in chunks of any size.
//
// The sound is split in four bands (below 120 Hz: kick and bass; 150 Hz-1 kHz: bodies; 1-4 kHz:
// snare and clap noise; above 6 kHz: hats) and three envelopes are kept, one value per 5.8 ms
// frame, each comparing the last 23 ms with the 23 ms before: the rise in decibels summed over
// the bands (onsets, whatever their loudness), the rise in amplitude summed over the bands (hits,
// loud ones standing out) and the same over the bands above 1 kHz (bright hits: snares, claps).
//
// The pulse comes from the autocorrelation of the onsets (a beat between 60 and 200 BPM, with its
// half, two beats and bar), refined with a comb over the whole track. Its octave is the beat:
// half the period of a backbeat where bright hits fall every other beat, else the fastest octave
// whose positions nearly all hold a loud hit. The phase is the backbeat's (or the fullest
// octave's), refined to a tenth of a frame where the comb meets the hits hardest, then to the
// sample: each frame also keeps where in it a fast envelope of the sound rose most, and a straight
// line through the steepest rises near the beats gives the first beat and the beat length. A
// straight grid, as made music has.
//
// Only the first twenty minutes are listened to: the grid is one straight line, which twenty
// minutes place to a small fraction of a sample per beat, and a set whose tempo wanders has no one
// grid to find however long it is heard. So memory stays flat in a file's length: 18 bytes per
// frame, about 1.8 MB for ten minutes of sound and at most 3.7 MB.
// One thread at a time; allocates, so never on the render thread.
class TempoDetector {
public:
    explicit TempoDetector(double sampleRate);

    // Room for the envelopes of this many samples, so that they never grow by copying.
    void reserve(std::int64_t samples);
    void add(std::span<const float> mono);
    // The grid and the share of its beats, over the stretch where the music plays, that fall on an
    // onset; none when nothing steady was heard.
    std::optional<FittedGrid> finish() const;

    double frameSeconds() const { return static_cast<double>(hop_) / sampleRate_; }
    static constexpr double heardSeconds = 20 * 60.0;

private:
    BeatGrid fitToAttacks(double phase, double period, double from, double to) const;

    enum Band { low, mid, snare, high, bandCount };
    double sampleRate_;
    // The bands are worked at half the rate where that still holds the highest (above 6 kHz): the
    // mean of each two samples, which keeps the hats' energy and halves the filters' work.
    std::uint32_t decimation_;
    std::uint32_t hop_; // samples per frame, a whole number of the bands' own
    float pairFirst_ = 0.0f; // at half the rate, the first sample of the pair being formed
    std::size_t maxFrames_; // heardSeconds of them
    // low-pass; snare HP, LP; high-pass; mid HP, LP
    std::array<engine::BiquadCoefficients, 6> coefficients_;
    // The band filters' states (z1, z2 of each section), worked two sections at a time: low-pass
    // and high band; snare and mid high-passes; their low-passes. Then the snare's second low-pass.
    std::array<double, 12> filterState_{};
    engine::BiquadFilter snareLast_; // the snare's second low-pass
    std::array<double, bandCount> energy_{};                 // of the frame being filled
    std::array<std::array<double, 8>, bandCount> windows_{}; // mean squares of the last eight frames
    std::uint32_t inFrame_ = 0;
    std::vector<float> onsets_;    // rise in decibels, all bands summed
    std::vector<float> hits_;      // amplitude rise of all bands
    std::vector<float> upperHits_; // of the bands above 1 kHz
    // The sound's attack to the sample: a peak follower of its level, and per frame its largest
    // rise from one sample to the next and where in the frame that fell.
    float follower_ = 0.0f;
    float followerRelease_ = 0.0f;
    float steepest_ = 0.0f;
    std::uint16_t steepestAt_ = 0;
    std::vector<float> rises_;
    std::vector<std::uint16_t> riseAt_;
};

} // namespace quelmo
