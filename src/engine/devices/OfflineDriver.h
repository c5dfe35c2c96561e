#pragma once

#include "devices/AudioDriver.h"
#include "engine/AudioBuffer.h"

#include <memory>

namespace quelmo::engine {

// Renders on demand, synchronously, on the calling thread: for tests and for rendering to memory.
class OfflineDriver final : public AudioDriver {
public:
    std::optional<std::string> start(RenderFunction render) override;
    void stop() override;
    bool isStarted() const { return static_cast<bool>(render_); }

    // Pulls frames in blocks of blockSize and returns them as a stereo 44.1 kHz buffer. Returns an
    // empty buffer when not started. The calling thread acts as the render thread.
    std::shared_ptr<AudioBuffer> renderFrames(std::uint32_t frames, std::uint32_t blockSize = 512);

    // Pulls one block into the given channels (at most blockCapacity frames). Render thread.
    void renderBlock(float* const* channels, std::uint32_t frames);

private:
    RenderFunction render_;
};

} // namespace quelmo::engine
