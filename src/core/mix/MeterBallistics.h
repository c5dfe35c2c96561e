#pragma once

#include <algorithm>
#include <cstdint>

namespace quelmo::MeterBallistics {

// One meter tick (24 per second): a one-pole glide toward the bus's peak since the last tick, the
// same for attack and release. Full scale is 95 % reached after a second; silence takes 12 % off
// per tick. Never above 1. Below a ten-thousandth (far below a pixel) it rests at 0, so a silent
// deck stops redrawing its meters instead of decaying for minutes.
inline double step(double current, float peak) {
    const double next = std::min(1.0, current * 0.88 + static_cast<double>(peak) * 0.12);
    return next < 1e-4 ? 0.0 : next;
}

// The largest absolute sample of a block; 0 for an empty block.
inline float peakMagnitude(const float* const* channels, std::uint32_t channelCount, std::uint32_t frames) {
    float peak = 0.0f;
    for (std::uint32_t c = 0; c < channelCount; ++c) {
        if (!channels[c]) {
            continue;
        }
        for (std::uint32_t i = 0; i < frames; ++i) {
            peak = std::max(peak, channels[c][i] < 0.0f ? -channels[c][i] : channels[c][i]);
        }
    }
    return peak;
}

} // namespace quelmo::MeterBallistics
