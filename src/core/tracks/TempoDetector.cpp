#include "tracks/TempoDetector.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numeric>

namespace quelmo {

namespace {

using engine::BiquadCoefficients;
using engine::FilterType;
using Envelope = std::vector<float>;

constexpr double minBeat = 60.0 / BeatGrid::maxBpm; // seconds
constexpr double maxBeat = 60.0 / BeatGrid::minBpm;
constexpr float onsetFloor = 6.0f; // rise (dB) from which an onset counts as heard
constexpr double silence = 1e-6;   // mean square of -60 dBFS: quieter counts as nothing
constexpr double fullCoverage = 0.7; // of a level's positions holding a hit, for it to be the beat
// Where an envelope frame's onset sounds, in frames from its start: an onset inside a frame raises
// that frame's energy and the next one's; measured on the deck's drum sounds.
constexpr double onsetLag = -2.1;

// The envelope at a fractional frame: the larger of the two frames around it, so a comb tooth
// between frames still meets the onset. Called tens of millions of times by the finish, it finds
// the frame by truncation (the floor, for the positions that have a frame), not by floor().
float at(const Envelope& e, double x) {
    if (!(x >= 0.0)) {
        return 0.0f;
    }
    const auto i = static_cast<std::size_t>(x);
    if (i + 1 >= e.size()) {
        return 0.0f;
    }
    return std::max(e[i], e[i + 1]);
}

// Mean of the envelope on the comb phase + k * period over [from, to) (frames).
double comb(const Envelope& e, double period, double phase, double from, double to) {
    double sum = 0.0;
    int n = 0;
    double x = phase + std::ceil((from - phase) / period) * period;
    for (; x < to; x += period, ++n) {
        sum += at(e, x);
    }
    return n > 0 ? sum / n : 0.0;
}

struct Phase {
    double phase = 0.0;
    double mean = 0.0;
};

// The comb at two phases side by side, each summed exactly as comb() sums it: the two sums then
// need not wait on each other.
std::array<double, 2> combs(const Envelope& e, double period, double phaseA, double phaseB, double from, double to) {
    double sumA = 0.0, sumB = 0.0;
    int nA = 0, nB = 0;
    double xA = phaseA + std::ceil((from - phaseA) / period) * period;
    double xB = phaseB + std::ceil((from - phaseB) / period) * period;
    for (; xA < to && xB < to; xA += period, xB += period, ++nA, ++nB) {
        sumA += at(e, xA);
        sumB += at(e, xB);
    }
    for (; xA < to; xA += period, ++nA) {
        sumA += at(e, xA);
    }
    for (; xB < to; xB += period, ++nB) {
        sumB += at(e, xB);
    }
    return {nA > 0 ? sumA / nA : 0.0, nB > 0 ? sumB / nB : 0.0};
}

// The best of `phases` (in order, the first of equals), two combs at a time.
void bestOf(const Envelope& e, double period, const std::vector<double>& phases, double from, double to, Phase& best) {
    for (std::size_t i = 0; i < phases.size(); i += 2) {
        const double a = phases[i], b = i + 1 < phases.size() ? phases[i + 1] : a;
        const auto [ma, mb] = combs(e, period, a, b, from, to);
        if (ma > best.mean) {
            best = {a, ma};
        }
        if (mb > best.mean) {
            best = {b, mb};
        }
    }
}

// The comb's best phase at this period, to a tenth of a frame around the best whole frame.
Phase bestPhase(const Envelope& e, double period, double from, double to) {
    Phase best;
    std::vector<double> phases;
    for (double p = 0.0; p < period; p += 1.0) {
        phases.push_back(p);
    }
    bestOf(e, period, phases, from, to, best);
    phases.clear();
    for (double p = best.phase - 0.9; p <= best.phase + 0.9; p += 0.1) {
        phases.push_back(p);
    }
    bestOf(e, period, phases, from, to, best);
    return best;
}

// The level from which a hit counts as loud: 15 % of the loudest hits (the 99th percentile of the
// envelope's peaks over [from, to)), well above a steady chord's own wavering.
float loudHitLevel(const Envelope& e, double from, double to) {
    std::vector<float> peaks;
    for (auto i = static_cast<std::size_t>(std::max(1.0, from)); i + 1 < e.size() && static_cast<double>(i) < to; ++i) {
        if (e[i] > 0.0f && e[i] >= e[i - 1] && e[i] > e[i + 1]) {
            peaks.push_back(e[i]);
        }
    }
    if (peaks.empty()) {
        return 0.0f;
    }
    const auto at99 = peaks.begin() + static_cast<std::ptrdiff_t>(peaks.size() * 99 / 100);
    std::nth_element(peaks.begin(), at99, peaks.end());
    return *at99 * 0.15f;
}

// The share of the comb's teeth over [from, to) within a frame of a loud hit; see bestCoverage.
double coverage(const Envelope& e, double period, double phase, double from, double to, float loud) {
    int teeth = 0, met = 0;
    for (double x = phase + std::ceil((from - phase) / period) * period; x < to; x += period, ++teeth) {
        if (std::max(at(e, x - 1), at(e, x + 1)) >= loud) {
            ++met;
        }
    }
    return teeth > 0 ? static_cast<double>(met) / teeth : 0.0;
}

// The whole-frame phase whose teeth meet the most loud hits, the comb's mean breaking ties; the
// share met as `mean`.
Phase bestCoverage(const Envelope& e, double period, double from, double to, float loud) {
    Phase best{0.0, -1.0};
    double bestComb = -1.0;
    for (double p = 0.0; p < period; p += 1.0) {
        const double c = coverage(e, period, p, from, to, loud);
        if (c > best.mean || (c == best.mean && comb(e, period, p, from, to) > bestComb)) {
            best = {p, c};
            bestComb = comb(e, period, p, from, to);
        }
    }
    return best;
}

using DoublePair = double __attribute__((vector_size(16)));

inline DoublePair loadPair(const double* at) {
    DoublePair v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

// The period (frames) within [minLag, maxLag] where the autocorrelation of the envelope, with its
// second and fourth multiples added, peaks; interpolated between lags.
double pulsePeriod(const Envelope& e, double minLag, double maxLag) {
    const auto n = e.size();
    const auto mean = static_cast<float>(std::accumulate(e.begin(), e.end(), 0.0) / static_cast<double>(n));
    const auto top = static_cast<std::size_t>(std::ceil(maxLag * 4)) + 2;
    const auto bottom = static_cast<std::size_t>(std::floor(minLag / 2));
    // Each product is of two floats, exact in double: the envelope, centred in float, is widened once.
    std::vector<double> centred(n);
    std::transform(e.begin(), e.end(), centred.begin(), [mean](float v) { return static_cast<double>(v - mean); });
    const double* d = centred.data();
    std::vector<double> acf(top + 1, 0.0);
    // Four sums side by side for each lag, two to a register (sum k takes the products at
    // i = lag + 4m + k, the rest after the last four in sum 0), and two lags at a time, which share
    // the earlier factor, so that the additions need not wait on each other.
    const auto finishLag = [&](std::size_t lag, std::size_t j, DoublePair low, DoublePair high) {
        for (; j + 4 <= n - lag; j += 4) {
            low += loadPair(d + lag + j) * loadPair(d + j);
            high += loadPair(d + lag + j + 2) * loadPair(d + j + 2);
        }
        for (; j < n - lag; ++j) {
            low[0] += d[lag + j] * d[j];
        }
        acf[lag] = ((low[0] + low[1]) + (high[0] + high[1])) / static_cast<double>(n - lag);
    };
    const std::size_t last = std::min(top, n - 1);
    std::size_t lag = bottom;
    for (; lag + 1 <= last; lag += 2) {
        DoublePair low{}, high{}, nextLow{}, nextHigh{};
        std::size_t j = 0;
        for (; j + 4 <= n - lag - 1; j += 4) {
            const DoublePair early = loadPair(d + j), earlyHigh = loadPair(d + j + 2);
            low += loadPair(d + lag + j) * early;
            high += loadPair(d + lag + j + 2) * earlyHigh;
            nextLow += loadPair(d + lag + 1 + j) * early;
            nextHigh += loadPair(d + lag + 1 + j + 2) * earlyHigh;
        }
        finishLag(lag, j, low, high);
        finishLag(lag + 1, j, nextLow, nextHigh);
    }
    if (lag <= last) {
        finishLag(lag, 0, DoublePair{}, DoublePair{});
    }
    // The beat with its half, its two beats and its bar.
    auto score = [&](std::size_t at) {
        return 0.5 * acf[at / 2] + acf[at] + acf[std::min(top, 2 * at)] + acf[std::min(top, 4 * at)];
    };
    std::size_t best = static_cast<std::size_t>(std::ceil(minLag));
    for (std::size_t at = best; at <= static_cast<std::size_t>(maxLag); ++at) {
        if (score(at) > score(best)) {
            best = at;
        }
    }
    const double a = score(best - 1), b = score(best), c = score(best + 1);
    const double curve = a - 2 * b + c;
    return static_cast<double>(best) + (curve < 0 ? 0.5 * (a - c) / curve : 0.0);
}

// The period near `period` (within 1.5 %) where the comb over [from, to) peaks.
double refinePeriod(const Envelope& e, double period, double from, double to) {
    double best = period, bestMean = -1.0;
    for (double span : {0.015, 0.0015}) {
        const double centre = best;
        for (double p = centre * (1 - span); p <= centre * (1 + span); p += centre * span / 30.0) {
            const double m = bestPhase(e, p, from, to).mean;
            if (m > bestMean) {
                best = p;
                bestMean = m;
            }
        }
    }
    return best;
}

// The beat's period, to a small fraction of a frame: a least-squares line through the places of the
// loud hits the grid meets, each the peak of the hit envelope within two frames of its beat,
// interpolated between frames. The comb alone settles the period only to where its teeth stay on
// the same frames, which over a minute is a few hundredths of a percent: enough for the tempo's
// text, not for playing the track on the deck's clock for a minute.
double fitPeriod(const Envelope& e, double period, double phase, double from, double to, float loud) {
    double n = 0.0, sk = 0.0, sx = 0.0, skk = 0.0, skx = 0.0;
    const double firstK = std::ceil((from - phase) / period);
    for (double k = firstK;; k += 1.0) {
        const double x = phase + k * period;
        if (x >= to) {
            break;
        }
        auto i = static_cast<std::ptrdiff_t>(std::lround(x));
        std::ptrdiff_t best = -1;
        for (std::ptrdiff_t j = i - 2; j <= i + 2; ++j) {
            if (j >= 1 && j + 1 < static_cast<std::ptrdiff_t>(e.size()) &&
                (best < 0 || e[static_cast<std::size_t>(j)] > e[static_cast<std::size_t>(best)])) {
                best = j;
            }
        }
        if (best < 0 || e[static_cast<std::size_t>(best)] < loud) {
            continue;
        }
        const double a = e[static_cast<std::size_t>(best - 1)], b = e[static_cast<std::size_t>(best)],
                     c = e[static_cast<std::size_t>(best + 1)];
        const double curve = a - 2.0 * b + c;
        const double place = static_cast<double>(best) + (curve < 0.0 ? std::clamp(0.5 * (a - c) / curve, -0.5, 0.5) : 0.0);
        const double kk = k - firstK;
        n += 1.0;
        sk += kk;
        sx += place;
        skk += kk * kk;
        skx += kk * place;
    }
    const double spread = n * skk - sk * sk;
    if (n < 8.0 || spread <= 0.0) {
        return period;
    }
    const double fitted = (n * skx - sk * sx) / spread;
    // A line pulled off by hits between the beats is not taken.
    return std::abs(fitted / period - 1.0) < 0.002 ? fitted : period;
}

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
using Pair = DoublePair;
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
    double snare1 = snareLast_[0], snare2 = snareLast_[1];
    const BiquadCoefficients snareLow = coefficients_[2];
    float follower = follower_, steepest = steepest_, pairFirst = pairFirst_;
    std::uint32_t inFrame = inFrame_, steepestAt = steepestAt_;
    const auto bands = [&](float x) {
        const Pair in{x, x};
        const Pair lowHigh = process(outer, in, outer1, outer2);
        const Pair midTops = process(tops, process(bodies, in, bodies1, bodies2), tops1, tops2);
        // The snare's second low-pass, as engine::BiquadFilter works it.
        const double snareIn = static_cast<float>(midTops[0]);
        const double snareOut = snareLow.b0 * snareIn + snare1;
        snare1 = snareLow.b1 * snareIn - snareLow.a1 * snareOut + snare2;
        snare2 = snareLow.b2 * snareIn - snareLow.a2 * snareOut;
        const Pair snareMid{static_cast<double>(static_cast<float>(snareOut)), midTops[1]};
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
    snareLast_ = {snare1, snare2};
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
