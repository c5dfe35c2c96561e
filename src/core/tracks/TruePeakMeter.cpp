#include "tracks/TruePeakMeter.h"

#include <algorithm>
#include <cmath>

namespace quelmo {

namespace {

constexpr int phases = 4;
constexpr int taps = 12;

// The interpolator: for the point p/4 of the way from window[5] to window[6], a Kaiser-windowed
// sinc (beta 7, spanning six samples each side) at each of the twelve samples around it, scaled
// to pass a constant unchanged.
struct Interpolator {
    std::array<std::array<float, taps>, phases> phase{};
    Interpolator() {
        constexpr double beta = 7.0;
        constexpr double half = taps / 2.0;
        auto bessel0 = [](double x) {
            double sum = 1.0, term = 1.0;
            for (int k = 1; k < 30; ++k) {
                term *= (x / (2.0 * k)) * (x / (2.0 * k));
                sum += term;
            }
            return sum;
        };
        for (int p = 0; p < phases; ++p) {
            std::array<double, taps> c{};
            double sum = 0.0;
            for (int k = 0; k < taps; ++k) {
                const double d = p / static_cast<double>(phases) + (taps / 2 - 1) - k; // distance in samples
                const double sinc = d == 0.0 ? 1.0 : std::sin(M_PI * d) / (M_PI * d);
                const double r = std::min(1.0, std::abs(d) / half);
                c[static_cast<std::size_t>(k)] = sinc * bessel0(beta * std::sqrt(1.0 - r * r)) / bessel0(beta);
                sum += c[static_cast<std::size_t>(k)];
            }
            for (int k = 0; k < taps; ++k) {
                phase[static_cast<std::size_t>(p)][static_cast<std::size_t>(k)] = static_cast<float>(c[static_cast<std::size_t>(k)] / sum);
            }
        }
    }
};

const Interpolator& interpolator() {
    static const Interpolator shared;
    return shared;
}

} // namespace

void TruePeakMeter::add(std::span<const float> samples) {
    // Block by block: a block that, with the samples before it, stays 6 dB under the peak found so
    // far holds no pair that could pass it, and only goes into the history.
    constexpr std::size_t block = 64;
    for (std::size_t start = 0; start < samples.size(); start += block) {
        const auto part = samples.subspan(start, std::min(block, samples.size() - start));
        float loudest = 0.0f;
        for (const float x : history_) {
            loudest = std::max(loudest, std::abs(x));
        }
        for (const float x : part) {
            loudest = std::max(loudest, std::abs(x));
        }
        if (loudest * 2.0f < peak_ && part.size() >= static_cast<std::size_t>(taps)) {
            const auto last = part.last(static_cast<std::size_t>(taps));
            std::copy(last.begin(), last.end(), history_.begin());
            std::copy(last.begin(), last.end(), history_.begin() + taps);
            at_ = 0;
        } else {
            addEach(part);
        }
    }
}

void TruePeakMeter::addEach(std::span<const float> samples) {
    const auto& filter = interpolator().phase;
    for (const float x : samples) {
        history_[static_cast<std::size_t>(at_)] = x;
        history_[static_cast<std::size_t>(at_ + taps)] = x;
        at_ = (at_ + 1) % taps;
        const float* window = history_.data() + at_; // oldest first, `taps` of them
        peak_ = std::max(peak_, static_cast<double>(std::abs(x)));
        // The samples the middle of the window lies between; only there can the interpolation
        // between them reach a new peak when one of them comes within 6 dB of it.
        const float a = std::abs(window[taps / 2 - 1]), b = std::abs(window[taps / 2]);
        if (std::max(a, b) * 2.0f < peak_) {
            continue;
        }
        for (int p = 1; p < phases; ++p) {
            const auto& h = filter[static_cast<std::size_t>(p)];
            float y = 0.0f;
            for (int k = 0; k < taps; ++k) {
                y += h[static_cast<std::size_t>(k)] * window[k];
            }
            peak_ = std::max(peak_, static_cast<double>(std::abs(y)));
        }
    }
}

} // namespace quelmo
