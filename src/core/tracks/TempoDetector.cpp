#include "tracks/TempoDetector.h"

#include "tracks/PulseSearch.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace quelmo {

namespace {

using engine::BiquadCoefficients;
using engine::FilterType;
using pulse::Envelope;
using pulse::Phase;
using pulse::at;
using pulse::bestCoverage;
using pulse::bestPhase;
using pulse::comb;
using pulse::coverage;
using pulse::fitPeriod;
using pulse::loudHitLevel;
using pulse::pulsePeriod;
using pulse::refinePeriod;

constexpr double minBeat = 60.0 / BeatGrid::maxBpm; // seconds
constexpr double maxBeat = 60.0 / BeatGrid::minBpm;
constexpr float onsetFloor = 6.0f; // rise (dB) from which an onset counts as heard
constexpr double silence = 1e-6;   // mean square of -60 dBFS: quieter counts as nothing
constexpr double fullCoverage = 0.7; // of a level's positions holding a hit, for it to be the beat
// Where an envelope frame's onset sounds, in frames from its start: an onset inside a frame raises
// that frame's energy and the next one's; measured on the deck's drum sounds.
constexpr double onsetLag = -2.1;

} // namespace

// The grid at `phase` + j * `period` (frames) moved onto the sound's attacks: for each beat, the
// steepest rise within two frames of it, where that rise is a beat's hit (at least a fifth of the
// typical one); a straight line through those attacks (those within a frame of their median)
// gives the first beat and the beat length, to the sample. The grid as it was when fewer than half
// the beats show a hit, or when they disagree by more than a frame.
BeatGrid TempoDetector::fitToAttacks(double phase, double period, double from, double to) const {
    const double frame = frameSeconds();
    const BeatGrid coarse{phase * frame, period * frame};
    std::vector<double> offsets, sizes, beatsAt;
    int beats = 0;
    const double firstJ = std::ceil((from - phase) / period);
    for (double j = firstJ; phase + j * period < to; j += 1.0, ++beats) {
        const double x = phase + j * period;
        const auto centre = static_cast<std::ptrdiff_t>(std::floor(x));
        std::ptrdiff_t best = -1;
        for (std::ptrdiff_t i = std::max<std::ptrdiff_t>(0, centre - 2);
             i <= centre + 2 && i < static_cast<std::ptrdiff_t>(rises_.size()); ++i) {
            if (best < 0 || rises_[static_cast<std::size_t>(i)] > rises_[static_cast<std::size_t>(best)]) {
                best = i;
            }
        }
        if (best >= 0) {
            const auto b = static_cast<std::size_t>(best);
            sizes.push_back(rises_[b]);
            offsets.push_back((static_cast<double>(b) + riseAt_[b] / static_cast<double>(hop_) - x) * frame);
            beatsAt.push_back(j);
        }
    }
    if (offsets.empty()) {
        return coarse;
    }
    std::vector<double> sorted = sizes;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
    const double typical = sorted[sorted.size() / 2];
    std::vector<double> heard;
    for (std::size_t k = 0; k < offsets.size(); ++k) {
        if (sizes[k] >= 0.2 * typical) {
            heard.push_back(offsets[k]);
        }
    }
    if (heard.size() * 2 < static_cast<std::size_t>(beats)) {
        return coarse;
    }
    std::sort(heard.begin(), heard.end());
    const double median = heard[heard.size() / 2];
    if (heard[heard.size() * 3 / 4] - heard[heard.size() / 4] > frame) {
        return coarse;
    }
    double n = 0.0, sj = 0.0, so = 0.0, sjj = 0.0, sjo = 0.0;
    for (std::size_t k = 0; k < offsets.size(); ++k) {
        if (sizes[k] >= 0.2 * typical && std::abs(offsets[k] - median) <= frame) {
            const double j = beatsAt[k] - firstJ; // small numbers for the sums
            n += 1.0;
            sj += j;
            so += offsets[k];
            sjj += j * j;
            sjo += j * offsets[k];
        }
    }
    const double spread = n * sjj - sj * sj;
    if (n < 2.0 || spread <= 0.0) {
        return {coarse.firstBeat + median, coarse.beatLength};
    }
    const double slope = (n * sjo - sj * so) / spread;
    const double atFirst = (so - slope * sj) / n;
    return {coarse.firstBeat + atFirst - slope * firstJ, coarse.beatLength + slope};
}

TempoDetector::TempoDetector(double sampleRate)
    : sampleRate_(sampleRate),
      decimation_(sampleRate >= 32000.0 ? 2 : 1),
      hop_(decimation_ * std::max<std::uint32_t>(64 / decimation_, static_cast<std::uint32_t>(std::lround(
                                                                      sampleRate * 256.0 / 44100.0 / decimation_)))),
      maxFrames_(static_cast<std::size_t>(heardSeconds * sampleRate / hop_)) {
    const double bandRate = sampleRate / decimation_;
    coefficients_[0] = BiquadCoefficients::design(FilterType::lowPass, 120.0, 1.0, 0.0, bandRate);
    coefficients_[1] = BiquadCoefficients::design(FilterType::highPass, 1000.0, 1.0, 0.0, bandRate);
    coefficients_[2] = BiquadCoefficients::design(FilterType::lowPass, 4000.0, 1.0, 0.0, bandRate);
    coefficients_[3] = BiquadCoefficients::design(FilterType::highPass, 6000.0, 1.0, 0.0, bandRate);
    coefficients_[4] = BiquadCoefficients::design(FilterType::highPass, 150.0, 1.0, 0.0, bandRate);
    coefficients_[5] = BiquadCoefficients::design(FilterType::lowPass, 1000.0, 1.0, 0.0, bandRate);
    followerRelease_ = static_cast<float>(std::exp(-1.0 / (0.005 * sampleRate))); // falls by 1/e in 5 ms
}

void TempoDetector::reserve(std::int64_t samples) {
    const auto frames = std::min(maxFrames_, static_cast<std::size_t>(std::max<std::int64_t>(0, samples) / hop_ + 16));
    onsets_.reserve(frames);
    hits_.reserve(frames);
    upperHits_.reserve(frames);
    rises_.reserve(frames);
    riseAt_.reserve(frames);
}

namespace {

// Two biquad sections side by side in one register: the same arithmetic as engine::BiquadFilter
// (transposed direct form II in double, the output rounded to float), half the instructions.
using Pair = double __attribute__((vector_size(16)));
using FloatPair = float __attribute__((vector_size(8)));

struct PairCoefficients {
    Pair b0, b1, b2, a1, a2;
    PairCoefficients(const BiquadCoefficients& a, const BiquadCoefficients& b)
        : b0{a.b0, b.b0}, b1{a.b1, b.b1}, b2{a.b2, b.b2}, a1{a.a1, b.a1}, a2{a.a2, b.a2} {}
};

inline Pair roundedToFloat(Pair y) {
    return __builtin_convertvector(__builtin_convertvector(y, FloatPair), Pair);
}

inline Pair process(const PairCoefficients& c, Pair x, Pair& z1, Pair& z2) {
    const Pair y = c.b0 * x + z1;
    z1 = c.b1 * x - c.a1 * y + z2;
    z2 = c.b2 * x - c.a2 * y;
    return roundedToFloat(y);
}

} // namespace

void TempoDetector::add(std::span<const float> mono) {
    if (onsets_.size() == maxFrames_) {
        return; // heard enough
    }
    // low-pass and high band on the sound; snare and mid high-passes on it; their low-passes
    const PairCoefficients outer(coefficients_[0], coefficients_[3]);
    const PairCoefficients bodies(coefficients_[1], coefficients_[4]);
    const PairCoefficients tops(coefficients_[2], coefficients_[5]);
    auto& st = filterState_;
    Pair outer1{st[0], st[1]}, outer2{st[2], st[3]}, bodies1{st[4], st[5]}, bodies2{st[6], st[7]};
    Pair tops1{st[8], st[9]}, tops2{st[10], st[11]};
    const auto keepState = [&] {
        st = {outer1[0], outer1[1], outer2[0], outer2[1], bodies1[0], bodies1[1], bodies2[0], bodies2[1],
              tops1[0],  tops1[1],  tops2[0],  tops2[1]};
    };
    // The running sums and the follower live in registers while the samples stream through; the
    // members hold them between calls.
    Pair lowHighEnergy{energy_[low], energy_[high]}, snareMidEnergy{energy_[snare], energy_[mid]};
    engine::BiquadFilter snareLast = snareLast_;
    const BiquadCoefficients snareLow = coefficients_[2];
    float follower = follower_, steepest = steepest_, pairFirst = pairFirst_;
    std::uint32_t inFrame = inFrame_, steepestAt = steepestAt_;
    const auto bands = [&](float x) {
        const Pair in{x, x};
        const Pair lowHigh = process(outer, in, outer1, outer2);
        const Pair midTops = process(tops, process(bodies, in, bodies1, bodies2), tops1, tops2);
        const double snareSample = snareLast.process(snareLow, static_cast<float>(midTops[0]));
        const Pair snareMid{snareSample, midTops[1]};
        lowHighEnergy += lowHigh * lowHigh;
        snareMidEnergy += snareMid * snareMid;
    };
    const double bandSamples = static_cast<double>(hop_ / decimation_); // per frame
    for (const float x : mono) {
        // At half the rate the bands take the mean of each two samples (a frame holds whole pairs).
        if (decimation_ == 1) {
            bands(x);
        } else if (inFrame % 2 == 1) {
            bands((pairFirst + x) * 0.5f);
        } else {
            pairFirst = x;
        }
        const float level = std::max(std::abs(x), follower * followerRelease_);
        if (level - follower > steepest) {
            steepest = level - follower;
            steepestAt = inFrame;
        }
        follower = level;
        if (++inFrame == hop_) {
            energy_ = {lowHighEnergy[0], snareMidEnergy[1], snareMidEnergy[0], lowHighEnergy[1]};
            double onsetRise = 0.0, hitRise = 0.0, upperRise = 0.0;
            for (int b = 0; b < bandCount; ++b) {
                // The level (dB) of the last four frames (23 ms, so that a chord's own beating
                // evens out), and its rise over the level four frames before: steady sound gives
                // none, a hit many decibels whatever its loudness.
                auto& window = windows_[b];
                std::rotate(window.begin(), window.begin() + 1, window.end());
                window.back() = energy_[b] / bandSamples;
                const double now = window[4] + window[5] + window[6] + window[7];
                const double before = window[0] + window[1] + window[2] + window[3];
                const double rise = 10.0 * std::log10((now + silence) / (before + silence));
                onsetRise += std::max(0.0, rise);
                const double amplitudeRise = std::max(0.0, std::sqrt(now) - std::sqrt(before));
                hitRise += amplitudeRise;
                if (b == snare || b == high) {
                    upperRise += amplitudeRise;
                }
            }
            lowHighEnergy = Pair{};
            snareMidEnergy = Pair{};
            // Hits: how much each band grew in amplitude over 23 ms, summed: loud hits (kick, snare,
            // bass) stand far above soft ones (hats) and a chord's wavering, and a snare counts
            // in its own bands even over a bass note still sounding.
            onsets_.push_back(static_cast<float>(onsetRise));
            hits_.push_back(static_cast<float>(hitRise));
            upperHits_.push_back(static_cast<float>(upperRise));
            rises_.push_back(steepest);
            riseAt_.push_back(static_cast<std::uint16_t>(steepestAt));
            steepest = 0.0f;
            steepestAt = 0;
            inFrame = 0;
            if (onsets_.size() == maxFrames_) {
                break;
            }
        }
    }
    energy_ = {lowHighEnergy[0], snareMidEnergy[1], snareMidEnergy[0], lowHighEnergy[1]};
    snareLast_ = snareLast;
    follower_ = follower;
    pairFirst_ = pairFirst;
    steepest_ = steepest;
    steepestAt_ = static_cast<std::uint16_t>(steepestAt);
    inFrame_ = inFrame;
    keepState();
}

std::optional<FittedGrid> TempoDetector::finish() const {
    const double frame = frameSeconds();
    const Envelope& all = onsets_;
    // The stretch where the music plays: from its first loud hit to its last.
    const float hitLevel = loudHitLevel(hits_, 0, static_cast<double>(hits_.size()));
    auto strong = [hitLevel](float v) { return v >= hitLevel && v > 0.0f; };
    const auto first = std::find_if(hits_.begin(), hits_.end(), strong);
    const auto last = std::find_if(hits_.rbegin(), hits_.rend(), strong);
    if (first == hits_.end()) {
        return std::nullopt;
    }
    const double from = static_cast<double>(first - hits_.begin());
    const double to = static_cast<double>(hits_.rend() - last);
    if ((to - from) * frame < 4 * maxBeat) {
        return std::nullopt; // too short to hear a beat in
    }
    // The pulse: the strongest periodicity of a beat between 200 and 60 BPM, with its bar.
    double pulse = pulsePeriod(all, minBeat / frame, maxBeat / frame);
    pulse = refinePeriod(all, pulse, from, to);

    // The beat. Where there is a backbeat (snares or claps, bright hits, every other beat), it is
    // half the backbeat's period: the octave whose double has the bright hits on one phase and
    // not half a period later, while loud hits (kicks, bass) mostly fill the beats between. Bright
    // hits with nothing between them are the beat itself: a click track. Without a backbeat, the
    // fastest octave whose positions nearly all hold a hit (a kick, snare or bass note: the loud
    // ones): hats and the like fill faster octaves, syncopation leaves some beats empty but far
    // fewer than of the eighths.
    std::vector<double> levels;
    for (double level = pulse / 2.0; level <= pulse * 2.0 + 0.5; level *= 2.0) {
        if (level * frame >= minBeat * 0.999 && level * frame <= maxBeat * 1.001) {
            levels.push_back(level);
        }
    }
    const float upperLoud = loudHitLevel(upperHits_, from, to);
    double bestBeat = 0.0, bestBackbeat = 0.0, beatPhase = 0.0;
    for (const double level : levels) {
        const Phase on = bestPhase(upperHits_, 2 * level, from, to);
        const double off = comb(upperHits_, 2 * level, on.phase + level, from, to);
        const double backbeat = on.mean - off;
        const double between = coverage(hits_, 2 * level, on.phase + level, from, to, hitLevel);
        if (backbeat > bestBackbeat && on.mean >= upperLoud && backbeat >= 0.5 * on.mean && between >= 0.5) {
            bestBackbeat = backbeat;
            bestBeat = level;
            beatPhase = std::fmod(on.phase, level); // the backbeat falls on beats
        }
    }
    if (bestBeat <= 0.0) {
        double bestCovered = -1.0;
        for (const double level : levels) {
            const Phase filled = bestCoverage(hits_, level, from, to, hitLevel);
            const double covered = filled.mean;
            if (bestBeat == 0.0 || (covered >= fullCoverage && bestCovered < fullCoverage) ||
                (covered > bestCovered && bestCovered < fullCoverage)) {
                bestBeat = level;
                bestCovered = covered;
                beatPhase = filled.phase;
            }
        }
    }
    if (bestBeat <= 0.0) {
        return std::nullopt;
    }
    bestBeat = fitPeriod(hits_, bestBeat, beatPhase, from, to, hitLevel);
    // The phase to a tenth of a frame: where the comb meets the hits hardest near the filled one.
    Phase phase{beatPhase, -1.0};
    for (double p = beatPhase - 1.5; p <= beatPhase + 1.5; p += 0.1) {
        const double m = comb(hits_, bestBeat, p, from, to);
        if (m > phase.mean) {
            phase = {p, m};
        }
    }

    // Confidence: the share of the beats between the first and last onset that meet one.
    int beats = 0, met = 0;
    for (double x = phase.phase + std::ceil((from - phase.phase) / bestBeat) * bestBeat; x < to; x += bestBeat) {
        ++beats;
        if (std::max(at(all, x - 1), at(all, x)) >= onsetFloor) {
            ++met;
        }
    }
    BeatGrid grid = fitToAttacks(phase.phase + onsetLag, bestBeat, from, to);
    grid.firstBeat -= std::floor(grid.firstBeat / grid.beatLength) * grid.beatLength;
    return FittedGrid{grid, beats > 0 ? static_cast<double>(met) / beats : 0.0};
}

} // namespace quelmo
