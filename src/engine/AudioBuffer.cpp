#include "engine/AudioBuffer.h"

#include <algorithm>
#include <cstddef>

namespace quelmo::engine {

AudioBuffer::AudioBuffer(const AudioFormat& format, std::uint32_t frameCapacity)
    : format_(format), capacity_(frameCapacity),
      samples_(static_cast<std::size_t>(format.channelCount) * frameCapacity, 0.0f) {}

std::shared_ptr<AudioBuffer> AudioBuffer::create(const AudioFormat& format, std::uint32_t frameCapacity) {
    return std::make_shared<AudioBuffer>(format, frameCapacity);
}

void AudioBuffer::setFrameLength(std::uint32_t frames) { length_ = std::min(frames, capacity_); }

std::span<float> AudioBuffer::channel(std::uint32_t index) {
    if (index >= format_.channelCount) {
        return {};
    }
    return {samples_.data() + static_cast<std::size_t>(index) * capacity_, length_};
}

std::span<const float> AudioBuffer::channel(std::uint32_t index) const {
    if (index >= format_.channelCount) {
        return {};
    }
    return {samples_.data() + static_cast<std::size_t>(index) * capacity_, length_};
}

} // namespace quelmo::engine
