#include "graph/InputNode.h"

#include "graph/RestGate.h"

#include <cmath>

#include "AudioEngine.h"

namespace quelmo::engine {
namespace {
DriftResampler::Settings resamplerSettings() {
    DriftResampler::Settings settings;
    settings.targetFrames = InputNode::targetLatencySeconds * AudioEngine::sampleRate;
    settings.sampleRate = AudioEngine::sampleRate;
    settings.maxBlockFrames = AudioNode::maxFramesPerPull;
    return settings;
}
} // namespace

InputNode::InputNode() : AudioNode(0), resampler_(resamplerSettings()) {}

InputNode::~InputNode() { stopCapture(); }

std::optional<std::string> InputNode::startCapture(const std::string& sourceName) {
    stopCapture();
    if (engine()) {
        engine()->wake();
    }
    auto source = std::make_shared<PulseInputSource>();
    if (auto error = source->start(sourceName, captureFragmentSeconds)) {
        return error;
    }
    source_ = std::move(source);
    sourceName_ = sourceName;
    capture_.fetch_add(1, std::memory_order_relaxed);
    ring_.store(&source_->ring(), std::memory_order_release);
    return std::nullopt;
}

std::optional<std::string> InputNode::reopenCapture() {
    if (!source_) {
        return std::nullopt;
    }
    const std::string name = sourceName_;
    return startCapture(name);
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

InputNode::CaptureStats InputNode::captureStats() const {
    CaptureStats stats;
    stats.queuedFrames = resampler_.queuedFrames();
    stats.targetFrames = resampler_.targetFrames();
    stats.ratio = resampler_.ratio();
    stats.droppedFrames = resampler_.droppedFrames();
    stats.insertedFrames = resampler_.insertedFrames();
    stats.underruns = resampler_.underruns();
    return stats;
}

namespace {
bool audible(const float* left, const float* right, std::uint32_t frames) {
    for (std::uint32_t i = 0; i < frames; ++i) {
        if (std::fabs(left[i]) >= RestGate::audibleFloor || std::fabs(right[i]) >= RestGate::audibleFloor) {
            return true;
        }
    }
    return false;
}
} // namespace

void InputNode::render(const RenderContext&, std::uint32_t frames, StereoBus& out) {
    float* left = out.channel(0);
    float* right = out.channel(1);
    SampleRing* ring = ring_.load(std::memory_order_acquire);
    const std::uint64_t capture = capture_.load(std::memory_order_relaxed);
    if (capture != renderCapture_) {
        renderCapture_ = capture; // a new capture: its clock owes nothing to the last one's
        resampler_.reset();
    }
    const std::uint32_t got = ring ? resampler_.process(*ring, left, right, frames) : 0;
    // A capture of nothing (a sink no application plays into) is silence: the units after this
    // node may rest.
    out.silent = got == 0 || !audible(left, right, frames);
    gain_.setTarget(volume_.load(std::memory_order_relaxed));
    if (out.silent) {
        gain_.snapTo(gain_.target());
        std::fill(left, left + frames, 0.0f);
        std::fill(right, right + frames, 0.0f);
        return;
    }
    if (!gain_.isSmoothing() && gain_.current() == 1.0f) {
        return;
    }
    for (std::uint32_t i = 0; i < frames; ++i) {
        const float g = gain_.next();
        left[i] *= g;
        right[i] *= g;
    }
}

} // namespace quelmo::engine
