#include "tracks/TruePeakMeter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quelmo {

namespace {

constexpr std::size_t phases = 4;
constexpr std::size_t taps = 12;

// The interpolator: for the point p/4 of the way from window[5] to window[6], a Kaiser-windowed
// sinc (beta 7, spanning six samples each side) at each of the twelve samples around it, scaled
// to pass a constant unchanged. Phase 0 is the sample itself.
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
        for (std::size_t p = 0; p < phases; ++p) {
            std::array<double, taps> c{};
            double sum = 0.0;
            for (std::size_t k = 0; k < taps; ++k) {
                const double d = static_cast<double>(p) / phases + (taps / 2 - 1) - static_cast<double>(k); // in samples
                const double sinc = d == 0.0 ? 1.0 : std::sin(M_PI * d) / (M_PI * d);
                const double r = std::min(1.0, std::abs(d) / half);
                c[k] = sinc * bessel0(beta * std::sqrt(1.0 - r * r)) / bessel0(beta);
                sum += c[k];
            }
            for (std::size_t k = 0; k < taps; ++k) {
                phase[p][k] = static_cast<float>(c[k] / sum);
            }
        }
    }
};

const Interpolator& interpolator() {
    static const Interpolator shared;
    return shared;
}

using Four = float __attribute__((vector_size(16)));

inline Four load(const float* at) {
    Four v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

inline Four magnitude(Four v) { return v < 0.0f ? -v : v; }

float loudestOf(const float* samples, std::size_t count) {
    Four loudest{};
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const Four m = magnitude(load(samples + i));
        loudest = m > loudest ? m : loudest;
    }
    float most = std::max({loudest[0], loudest[1], loudest[2], loudest[3]});
    for (; i < count; ++i) {
        most = std::max(most, std::abs(samples[i]));
    }
    return most;
}

// The loudest interpolated point between the samples of `window`, whose first `taps - 1` come
// before the `count` that are new. Each point is summed tap by tap in order, in single precision,
// four neighbouring points side by side.
float loudestBetween(const float* window, std::size_t count) {
    const auto& filter = interpolator().phase;
    Four loudest{};
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        Four y1{}, y2{}, y3{};
        for (std::size_t k = 0; k < taps; ++k) {
            const Four x = load(window + i + k);
            y1 += filter[1][k] * x;
            y2 += filter[2][k] * x;
            y3 += filter[3][k] * x;
        }
        const Four m = magnitude(y1);
        loudest = m > loudest ? m : loudest;
        const Four m2 = magnitude(y2);
        loudest = m2 > loudest ? m2 : loudest;
        const Four m3 = magnitude(y3);
        loudest = m3 > loudest ? m3 : loudest;
    }
    float most = std::max({loudest[0], loudest[1], loudest[2], loudest[3]});
    for (; i < count; ++i) {
        for (std::size_t p = 1; p < phases; ++p) {
            float y = 0.0f;
            for (std::size_t k = 0; k < taps; ++k) {
                y += filter[p][k] * window[i + k];
            }
            most = std::max(most, std::abs(y));
        }
    }
    return most;
}

} // namespace

void TruePeakMeter::add(std::span<const float> samples) {
    for (std::size_t start = 0; start < samples.size(); start += block) {
        const auto part = samples.subspan(start, std::min(block, samples.size() - start));
        std::copy(part.begin(), part.end(), window_.begin() + held);
        const std::size_t filled = held + part.size();
        const float newest = loudestOf(window_.data() + held, part.size());
        if (std::max(newest, loudestOf(window_.data(), held)) * 2.0f >= peak_) {
            peak_ = std::max({peak_, static_cast<double>(newest), static_cast<double>(loudestBetween(window_.data(), part.size()))});
        }
        std::copy(window_.begin() + static_cast<std::ptrdiff_t>(part.size()),
                  window_.begin() + static_cast<std::ptrdiff_t>(filled), window_.begin());
    }
}

} // namespace quelmo
