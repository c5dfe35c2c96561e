#include "units/DelayUnit.h"

#include "AudioEngine.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quelmo::engine {

DelayUnit::DelayUnit()
    : AudioNode(1), delaySamples_(0.0f, 0.05, AudioEngine::sampleRate), mix_(0.0f, 0.01, AudioEngine::sampleRate) {
    const auto length = static_cast<std::size_t>(maxDelaySeconds * AudioEngine::sampleRate) + 4;
    lines_[0].assign(length, 0.0f);
    lines_[1].assign(length, 0.0f);
}

void DelayUnit::render(const RenderContext& context, std::uint32_t frames, StereoBus& out) {
    const StereoBus& in = pullInput(0, context, frames);
    const std::size_t length = lines_[0].size();
    const float delayTarget = static_cast<float>(
        std::clamp(static_cast<double>(delayTime_.get()) * AudioEngine::sampleRate, 1.0, maxDelaySeconds * AudioEngine::sampleRate));
    const float feedback = std::clamp(feedback_.get(), -100.0f, 100.0f) / 100.0f;
    const float mixTarget = std::clamp(wetDryMix_.get(), 0.0f, 100.0f) / 100.0f;
    const double cutoff = lowPassCutoff_.get();
    const bool filtered = cutoff < 0.5 * AudioEngine::sampleRate;
    const float pole =
        filtered ? static_cast<float>(std::exp(-2.0 * std::numbers::pi * std::max(cutoff, 10.0) / AudioEngine::sampleRate))
                 : 0.0f;
    if (rest_.resting(in.silent)) {
        out.clear(frames);
        out.silent = true;
        return;
    }
    if (firstBlock_) {
        delaySamples_.snapTo(delayTarget);
        mix_.snapTo(mixTarget);
        firstBlock_ = false;
    }
    delaySamples_.setTarget(delayTarget);
    mix_.setTarget(mixTarget);

    for (std::uint32_t i = 0; i < frames; ++i) {
        const float delay = delaySamples_.next();
        const float mix = mix_.next();
        // Linear interpolation between the two stored samples around the read point.
        double position = static_cast<double>(writeIndex_) - delay;
        if (position < 0.0) {
            position += static_cast<double>(length);
        }
        const auto r0 = std::min(static_cast<std::size_t>(position), length - 1);
        const auto fraction = static_cast<float>(position - static_cast<double>(r0));
        const std::size_t r1 = r0 + 1 == length ? 0 : r0 + 1;
        for (int c = 0; c < 2; ++c) {
            const float x = in.channel(c)[i];
            std::vector<float>& line = lines_[c];
            const float delayed = line[r0] + (line[r1] - line[r0]) * fraction;
            float fed = delayed;
            if (filtered) {
                lowPassState_[c] = fed + (lowPassState_[c] - fed) * pole;
                fed = lowPassState_[c];
            }
            line[writeIndex_] = x + fed * feedback;
            out.channel(c)[i] = mix == 0.0f ? x : x * (1.0f - mix) + delayed * mix;
        }
        writeIndex_ = writeIndex_ + 1 == length ? 0 : writeIndex_ + 1;
    }
    // A repeat can follow a whole delay time of quiet: the line has rung out only after longer.
    const auto hold = static_cast<std::uint64_t>(std::max(delayTarget, delaySamples_.current())) + frames;
    if (rest_.settle(in.silent, out, frames, hold)) {
        std::fill(lines_[0].begin(), lines_[0].end(), 0.0f);
        std::fill(lines_[1].begin(), lines_[1].end(), 0.0f);
        lowPassState_[0] = lowPassState_[1] = 0.0f;
    }
}

} // namespace quelmo::engine
