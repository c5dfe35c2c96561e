#pragma once

#include "engine/AudioBuffer.h"

#include <cstdint>
#include <memory>

namespace quelmo::engine {

// The frames of one scheduled player item, read on the render thread. Sources are made and
// destroyed on the main thread; read() and finished() never block or allocate.
class PlayerSource {
public:
    virtual ~PlayerSource() = default;
    // Render thread. Writes up to frames frames of stereo graph-format audio; returns how many.
    // Fewer than asked means the data is not there yet (a stream running behind) or the end.
    virtual std::uint32_t read(float* left, float* right, std::uint32_t frames) = 0;
    // Render thread. True once every frame has been read.
    virtual bool finished() const = 0;
};

// A range of an in-memory buffer in the graph format (mono buffers play on both channels), scaled
// by gain (a hit played softer than the sample).
class BufferSource final : public PlayerSource {
public:
    BufferSource(std::shared_ptr<const AudioBuffer> buffer, std::uint32_t startFrame, std::uint32_t frameCount,
                 float gain = 1.0f);
    std::uint32_t read(float* left, float* right, std::uint32_t frames) override;
    bool finished() const override { return position_ >= end_; }

private:
    std::shared_ptr<const AudioBuffer> buffer_;
    std::uint32_t position_;
    std::uint32_t end_;
    float gain_;
};

} // namespace quelmo::engine
