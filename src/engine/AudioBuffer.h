#pragma once

#include "engine/AudioFormat.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace quelmo::engine {

// A block of deinterleaved float PCM in a fixed format. Capacity is fixed at creation; the frame
// length may be set anywhere from 0 to the capacity. Buffers that players schedule are shared as
// std::shared_ptr<const AudioBuffer> and never change after they are filled, so the render thread
// can read them without synchronisation.
class AudioBuffer {
public:
    // Allocates capacity frames per channel, zeroed, with frame length 0. Main or worker thread.
    static std::shared_ptr<AudioBuffer> create(const AudioFormat& format, std::uint32_t frameCapacity);

    const AudioFormat& format() const { return format_; }
    std::uint32_t channelCount() const { return format_.channelCount; }
    std::uint32_t frameCapacity() const { return capacity_; }
    std::uint32_t frameLength() const { return length_; }
    // Clamped to the capacity.
    void setFrameLength(std::uint32_t frames);

    std::span<float> channel(std::uint32_t index);
    std::span<const float> channel(std::uint32_t index) const;

    AudioBuffer(const AudioFormat& format, std::uint32_t frameCapacity);

private:
    AudioFormat format_;
    std::uint32_t capacity_ = 0;
    std::uint32_t length_ = 0;
    std::vector<float> samples_; // channel-major: channel c starts at c * capacity_
};

} // namespace quelmo::engine
