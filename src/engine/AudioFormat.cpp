#include "engine/AudioFormat.h"

#include <cmath>

namespace quelmo::engine {

std::optional<AudioFormat> AudioFormat::standard(double sampleRate, std::uint32_t channelCount) {
    if (!std::isfinite(sampleRate) || sampleRate <= 0.0 || channelCount == 0 || channelCount > maxChannels) {
        return std::nullopt;
    }
    return AudioFormat{sampleRate, channelCount};
}

} // namespace quelmo::engine
