#include "graph/MixerNode.h"

#include <algorithm>

namespace quelmo::engine {

MixerNode::MixerNode() : AudioNode(maxMixerInputs) {}

void MixerNode::render(const RenderContext& context, std::uint32_t frames, StereoBus& out) {
    const std::size_t inputs = renderInputCount();
    bool silent = true;
    bool empty = true;
    for (std::size_t i = 0; i < inputs; ++i) {
        const StereoBus& in = pullInput(i, context, frames);
        if (in.silent) {
            continue;
        }
        silent = false;
        if (empty) {
            out.copyFrom(in, frames);
            empty = false;
        } else {
            for (int c = 0; c < 2; ++c) {
                float* dst = out.channel(c);
                const float* src = in.channel(c);
                for (std::uint32_t n = 0; n < frames; ++n) {
                    dst[n] += src[n];
                }
            }
        }
    }
    if (empty) {
        out.clear(frames);
    }

    const float volume = std::max(0.0f, volume_.get());
    const float pan = std::clamp(pan_.get(), -1.0f, 1.0f);
    const float left = volume * (pan > 0.0f ? 1.0f - pan : 1.0f);
    const float right = volume * (pan < 0.0f ? 1.0f + pan : 1.0f);
    if (firstBlock_) {
        leftGain_.snapTo(left);
        rightGain_.snapTo(right);
        firstBlock_ = false;
    }
    if (silent) {
        leftGain_.snapTo(left); // nothing to glide over
        rightGain_.snapTo(right);
        out.silent = true;
        return;
    }
    leftGain_.setTarget(left);
    rightGain_.setTarget(right);
    if (!leftGain_.isSmoothing() && !rightGain_.isSmoothing() && left == 1.0f && right == 1.0f) {
        return;
    }
    float* l = out.channel(0);
    float* r = out.channel(1);
    for (std::uint32_t n = 0; n < frames; ++n) {
        l[n] *= leftGain_.next();
        r[n] *= rightGain_.next();
    }
}

} // namespace quelmo::engine
