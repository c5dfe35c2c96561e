#pragma once

#include <algorithm>
#include <cmath>
#include <numbers>
#include <span>

namespace quelmo::test {

// The amplitude of the `hz` component of `samples` (Goertzel): about A for a sine of amplitude A at
// that frequency, near 0 for a sine well away from it.
inline double amplitudeAt(std::span<const float> samples, double sampleRate, double hz) {
    const double coefficient = 2.0 * std::cos(2.0 * std::numbers::pi * hz / sampleRate);
    double previous = 0.0;
    double beforePrevious = 0.0;
    for (float sample : samples) {
        const double current = sample + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    const double power =
        previous * previous + beforePrevious * beforePrevious - coefficient * previous * beforePrevious;
    return samples.empty() ? 0.0
                           : 2.0 * std::sqrt(std::max(0.0, power)) / static_cast<double>(samples.size());
}

} // namespace quelmo::test
