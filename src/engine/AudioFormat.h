#pragma once

#include <cstdint>
#include <optional>

namespace quelmo::engine {

// The one sample layout the graph speaks: 32-bit float, deinterleaved (one array per channel).
struct AudioFormat {
    double sampleRate = 0.0;
    std::uint32_t channelCount = 0;

    static constexpr std::uint32_t maxChannels = 8;

    // The standard deinterleaved float format, or nothing when the rate or channel count is unusable
    // (non-finite or non-positive rate, zero channels, more than maxChannels). Any thread.
    static std::optional<AudioFormat> standard(double sampleRate, std::uint32_t channelCount);

    friend bool operator==(const AudioFormat&, const AudioFormat&) = default;
};

} // namespace quelmo::engine
