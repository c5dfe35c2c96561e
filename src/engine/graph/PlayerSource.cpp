#include "graph/PlayerSource.h"

#include <algorithm>

namespace quelmo::engine {

BufferSource::BufferSource(std::shared_ptr<const AudioBuffer> buffer, std::uint32_t startFrame,
                           std::uint32_t frameCount)
    : buffer_(std::move(buffer)) {
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
    position_ += n;
    return n;
}

} // namespace quelmo::engine
