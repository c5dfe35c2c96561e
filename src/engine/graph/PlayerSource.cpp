#include "graph/PlayerSource.h"

#include <algorithm>

namespace quelmo::engine {

BufferSource::BufferSource(std::shared_ptr<const AudioBuffer> buffer, std::uint32_t startFrame,
                           std::uint32_t frameCount, float gain)
    : buffer_(std::move(buffer)), gain_(gain) {
    const std::uint32_t length = buffer_ ? buffer_->frameLength() : 0;
    position_ = std::min(startFrame, length);
    end_ = position_ + std::min(frameCount, length - position_);
}

std::uint32_t BufferSource::read(float* left, float* right, std::uint32_t frames) {
    const std::uint32_t n = std::min(frames, end_ - position_);
    const auto l = buffer_->channel(0);
    const auto r = buffer_->channel(buffer_->channelCount() > 1 ? 1 : 0);
    std::copy_n(l.data() + position_, n, left);
    std::copy_n(r.data() + position_, n, right);
    if (gain_ != 1.0f) {
        for (std::uint32_t i = 0; i < n; ++i) {
            left[i] *= gain_;
            right[i] *= gain_;
        }
    }
    position_ += n;
    return n;
}

} // namespace quelmo::engine
