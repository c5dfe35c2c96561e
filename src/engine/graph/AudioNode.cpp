#include "graph/AudioNode.h"

#include "AudioEngine.h"

#include <algorithm>
#include <cassert>
#include <utility>

namespace quelmo::engine {

AudioNode::AudioNode(std::size_t maxInputs) : maxInputs_(maxInputs), bus_(maxFramesPerPull) {
    (void)silence(); // made here, on the main thread, never first on the render thread
    currentInputs_ = std::make_shared<const InputList>();
    renderInputs_.store(currentInputs_.get(), std::memory_order_release);
}

AudioNode::~AudioNode() = default;

const StereoBus& AudioNode::silence() {
    // Never destroyed: the render thread may read it while the process ends.
    static const StereoBus* const quiet = [] {
        auto* bus = new StereoBus(maxFramesPerPull);
        bus->silent = true;
        return bus;
    }();
    return *quiet;
}


void AudioNode::publishInputs() {
    auto next = std::make_shared<const InputList>(InputList{inputs_});
    renderInputs_.store(next.get(), std::memory_order_release);
    auto previous = std::exchange(currentInputs_, std::move(next));
    if (engine_) {
        engine_->retire(std::move(previous));
    }
}

void AudioNode::installTap(TapFunction tap) {
    assert(engine_ && "taps go on attached nodes");
    auto next = std::make_shared<const TapFunction>(std::move(tap));
    renderTap_.store(next.get(), std::memory_order_release);
    auto previous = std::exchange(currentTap_, std::move(next));
    if (previous && engine_) {
        engine_->retire(std::move(previous));
    }
}

void AudioNode::removeTap() {
    renderTap_.store(nullptr, std::memory_order_release);
    auto previous = std::exchange(currentTap_, nullptr);
    if (previous && engine_) {
        engine_->retire(std::move(previous));
    }
}

std::size_t AudioNode::renderInputCount() const {
    return renderInputs_.load(std::memory_order_acquire)->nodes.size();
}

const StereoBus& AudioNode::pullInput(std::size_t index, const RenderContext& context, std::uint32_t frames) {
    const InputList* list = renderInputs_.load(std::memory_order_acquire);
    if (index >= list->nodes.size()) {
        return silence();
    }
    return list->nodes[index]->pull(context, frames);
}

const StereoBus& AudioNode::pull(const RenderContext& context, std::uint32_t frames) {
    bus_.silent = false;
    render(context, frames, bus_);
    if (const TapFunction* tap = renderTap_.load(std::memory_order_acquire)) {
        const float* channels[2] = {bus_.channel(0), bus_.channel(1)};
        (*tap)(channels, frames, context.sampleTime);
    }
    return bus_;
}

} // namespace quelmo::engine
