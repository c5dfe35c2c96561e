#include "dsp/ReverbKernel.h"

#include <algorithm>

namespace quelmo::engine {
namespace {
// Delay lengths in samples at 44.1 kHz; scaled for other rates.
constexpr std::array<int, 8> combTuning{1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
constexpr std::array<int, 4> allpassTuning{556, 441, 341, 225};
constexpr int stereoSpread = 23;
constexpr float inputGain = 0.015f;
constexpr float allpassFeedback = 0.5f;
constexpr double maxPreDelaySeconds = 0.25;
} // namespace

ReverbKernel::ReverbKernel(double sampleRate) : sampleRate_(sampleRate) {
    const double scale = sampleRate / 44100.0;
    for (int c = 0; c < 2; ++c) {
        for (std::size_t i = 0; i < combCount; ++i) {
            combs_[c][i].buffer.assign(static_cast<std::size_t>((combTuning[i] + c * stereoSpread) * scale), 0.0f);
        }
        for (std::size_t i = 0; i < allpassCount; ++i) {
            allpasses_[c][i].buffer.assign(static_cast<std::size_t>((allpassTuning[i] + c * stereoSpread) * scale),
                                           0.0f);
        }
    }
    preDelay_.assign(static_cast<std::size_t>(maxPreDelaySeconds * sampleRate) + 1, 0.0f);
    setSettings({});
}

void ReverbKernel::setSettings(const Settings& settings) {
    feedback_ = 0.7f + 0.28f * std::clamp(settings.roomSize, 0.0f, 1.0f);
    damp_ = 0.4f * std::clamp(settings.damping, 0.0f, 1.0f);
    const float width = std::clamp(settings.width, 0.0f, 1.0f);
    constexpr float wetScale = 3.0f;
    wet1_ = wetScale * (width / 2.0f + 0.5f);
    wet2_ = wetScale * (1.0f - width) / 2.0f;
    preDelayLength_ = std::min(preDelay_.size() - 1,
                               static_cast<std::size_t>(std::max(0.0f, settings.preDelaySeconds) * sampleRate_));
}

void ReverbKernel::clear() {
    for (auto& channel : combs_) {
        for (auto& comb : channel) {
            std::fill(comb.buffer.begin(), comb.buffer.end(), 0.0f);
            comb.store = 0.0f;
        }
    }
    for (auto& channel : allpasses_) {
        for (auto& allpass : channel) {
            std::fill(allpass.buffer.begin(), allpass.buffer.end(), 0.0f);
        }
    }
    std::fill(preDelay_.begin(), preDelay_.end(), 0.0f);
}

void ReverbKernel::process(float inLeft, float inRight, float& outLeft, float& outRight) {
    float input = (inLeft + inRight) * inputGain;
    if (preDelayLength_ > 0) {
        const std::size_t read = (preDelayIndex_ + preDelay_.size() - preDelayLength_) % preDelay_.size();
        preDelay_[preDelayIndex_] = input;
        input = preDelay_[read];
        preDelayIndex_ = preDelayIndex_ + 1 == preDelay_.size() ? 0 : preDelayIndex_ + 1;
    }
    float out[2] = {0.0f, 0.0f};
    for (int c = 0; c < 2; ++c) {
        for (auto& comb : combs_[c]) {
            const float y = comb.buffer[comb.index];
            comb.store = y * (1.0f - damp_) + comb.store * damp_;
            comb.buffer[comb.index] = input + comb.store * feedback_;
            comb.index = comb.index + 1 == comb.buffer.size() ? 0 : comb.index + 1;
            out[c] += y;
        }
        for (auto& allpass : allpasses_[c]) {
            const float buffered = allpass.buffer[allpass.index];
            const float y = buffered - out[c];
            allpass.buffer[allpass.index] = out[c] + buffered * allpassFeedback;
            allpass.index = allpass.index + 1 == allpass.buffer.size() ? 0 : allpass.index + 1;
            out[c] = y;
        }
    }
    outLeft = out[0] * wet1_ + out[1] * wet2_;
    outRight = out[1] * wet1_ + out[0] * wet2_;
}

} // namespace quelmo::engine
