#include "devices/OfflineDriver.h"

#include <algorithm>

namespace quelmo::engine {

std::optional<std::string> OfflineDriver::start(RenderFunction render) {
    render_ = std::move(render);
    return std::nullopt;
}

void OfflineDriver::stop() { render_ = nullptr; }

void OfflineDriver::renderBlock(float* const* channels, std::uint32_t frames) {
    if (render_) {
        render_(channels, frames);
    }
}

std::shared_ptr<AudioBuffer> OfflineDriver::renderFrames(std::uint32_t frames, std::uint32_t blockSize) {
    auto buffer = AudioBuffer::create(*AudioFormat::standard(44100.0, 2), frames);
    buffer->setFrameLength(frames);
    if (!render_ || blockSize == 0) {
        return buffer;
    }
    for (std::uint32_t done = 0; done < frames;) {
        const std::uint32_t n = std::min(blockSize, frames - done);
        float* channels[2] = {buffer->channel(0).data() + done, buffer->channel(1).data() + done};
        render_(channels, n);
        done += n;
    }
    return buffer;
}

} // namespace quelmo::engine
