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

std::size_t ReverbKernel::memoryFrames() const {
    std::size_t longest = 0;
    std::size_t chain = 0;
    for (const auto& channel : combs_) {
        for (const auto& comb : channel) {
            longest = std::max(longest, comb.buffer.size());
        }
    }
    for (const auto& channel : allpasses_) {
        std::size_t sum = 0;
        for (const auto& allpass : channel) {
            sum += allpass.buffer.size();
        }
        chain = std::max(chain, sum);
    }
    return preDelayLength_ + longest + chain;
}

void ReverbKernel::process(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                           std::size_t frames) {
    for (std::size_t done = 0; done < frames; done += maxRun) {
        const std::size_t n = std::min(maxRun, frames - done);
        processRun(inLeft + done, inRight + done, outLeft + done, outRight + done, n);
    }
}

void ReverbKernel::processRun(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                              std::size_t frames) {
    for (std::size_t i = 0; i < frames; ++i) {
        float input = (inLeft[i] + inRight[i]) * inputGain;
        if (preDelayLength_ > 0) {
            std::size_t read = preDelayIndex_ + preDelay_.size() - preDelayLength_;
            read = read >= preDelay_.size() ? read - preDelay_.size() : read;
            preDelay_[preDelayIndex_] = input;
            input = preDelay_[read];
            preDelayIndex_ = preDelayIndex_ + 1 == preDelay_.size() ? 0 : preDelayIndex_ + 1;
        }
        input_[i] = input;
    }
    for (int c = 0; c < 2; ++c) {
        float* wet = wet_[c].data();
        std::fill_n(wet, frames, 0.0f);
        for (auto& comb : combs_[c]) {
            float store = comb.store;
            std::size_t index = comb.index;
            float* buffer = comb.buffer.data();
            const std::size_t size = comb.buffer.size();
            for (std::size_t i = 0; i < frames; ++i) {
                const float y = buffer[index];
                store = y * (1.0f - damp_) + store * damp_;
                buffer[index] = input_[i] + store * feedback_;
                index = index + 1 == size ? 0 : index + 1;
                wet[i] += y;
            }
            comb.store = store;
            comb.index = index;
        }
        for (auto& allpass : allpasses_[c]) {
            std::size_t index = allpass.index;
            float* buffer = allpass.buffer.data();
            const std::size_t size = allpass.buffer.size();
            for (std::size_t i = 0; i < frames; ++i) {
                const float buffered = buffer[index];
                buffer[index] = wet[i] + buffered * allpassFeedback;
                wet[i] = buffered - wet[i];
                index = index + 1 == size ? 0 : index + 1;
            }
            allpass.index = index;
        }
    }
    for (std::size_t i = 0; i < frames; ++i) {
        outLeft[i] = wet_[0][i] * wet1_ + wet_[1][i] * wet2_;
        outRight[i] = wet_[1][i] * wet1_ + wet_[0][i] * wet2_;
    }
}

} // namespace quelmo::engine
