#include "graph/InputNode.h"

#include "AudioEngine.h"

namespace quelmo::engine {

InputNode::InputNode() : AudioNode(0) {}

InputNode::~InputNode() { stopCapture(); }

std::optional<std::string> InputNode::startCapture(const std::string& sourceName) {
    stopCapture();
    if (engine()) {
        engine()->wake();
    }
    auto source = std::make_shared<PulseInputSource>();
    if (auto error = source->start(sourceName)) {
        return error;
    }
    source_ = std::move(source);
    ring_.store(&source_->ring(), std::memory_order_release);
    return std::nullopt;
}

void InputNode::stopCapture() {
    if (!source_) {
        return;
    }
    ring_.store(nullptr, std::memory_order_release);
    source_->stop();
    auto source = std::move(source_);
    if (engine()) {
        engine()->retire(std::move(source)); // the render thread may still be reading its ring
    }
}

void InputNode::render(const RenderContext&, std::uint32_t frames, StereoBus& out) {
    std::uint32_t got = 0;
    if (SampleRing* ring = ring_.load(std::memory_order_acquire)) {
        got = static_cast<std::uint32_t>(ring->read(out.channel(0), out.channel(1), frames));
    }
    out.silent = got == 0;
    if (got < frames) {
        std::fill(out.channel(0) + got, out.channel(0) + frames, 0.0f);
        std::fill(out.channel(1) + got, out.channel(1) + frames, 0.0f);
    }
}

} // namespace quelmo::engine
