#include "units/DistortionUnit.h"

#include "AudioEngine.h"

#include <algorithm>
#include <cmath>

namespace quelmo::engine {
namespace {
// A rational tanh (Pade 3/2) that meets +-1 at |x| = 3 with zero slope: the same soft knee at a
// fraction of the cost of std::tanh.
float softClip(float x) {
    if (x <= -3.0f) {
        return -1.0f;
    }
    if (x >= 3.0f) {
        return 1.0f;
    }
    const float x2 = x * x;
    return x * (27.0f + x2) / (27.0f + 9.0f * x2);
}
} // namespace

DistortionUnit::DistortionUnit()
    : AudioNode(1), drive_(1.0f, 0.01, AudioEngine::sampleRate), mix_(0.0f, 0.01, AudioEngine::sampleRate),
      coneHighPass_(BiquadCoefficients::design(FilterType::highPass, 280.0, 1.0, 0.0, AudioEngine::sampleRate)),
      coneLowPass_(BiquadCoefficients::design(FilterType::lowPass, 3400.0, 1.0, 0.0, AudioEngine::sampleRate)) {}

float DistortionUnit::shape(int channel, float x, bool brokenSpeaker) {
    if (!brokenSpeaker) {
        return softClip(x);
    }
    float y = highPass_[channel].process(coneHighPass_, x);
    // Asymmetric clip: the cone bottoms out sooner on one side.
    y = y > 0.0f ? softClip(1.6f * y) : std::max(-0.55f, softClip(2.4f * y));
    constexpr float steps = 48.0f; // coarse resolution
    y = std::round(y * steps) / steps;
    return lowPass_[channel].process(coneLowPass_, y) * 1.4f;
}

void DistortionUnit::render(const RenderContext& context, std::uint32_t frames, StereoBus& out) {
    const StereoBus& in = pullInput(0, context, frames);
    const bool brokenSpeaker = preset_.load(std::memory_order_relaxed) == multiBrokenSpeaker;
    const float drive = std::pow(10.0f, std::clamp(preGain_.get(), -80.0f, 20.0f) / 20.0f);
    const float mixTarget = std::clamp(wetDryMix_.get(), 0.0f, 100.0f) / 100.0f;
    if (rest_.resting(in.silent)) {
        out.clear(frames);
        out.silent = true;
        drive_.snapTo(drive);
        mix_.snapTo(mixTarget);
        return;
    }
    if (firstBlock_) {
        drive_.snapTo(drive);
        mix_.snapTo(mixTarget);
        firstBlock_ = false;
    }
    drive_.setTarget(drive);
    mix_.setTarget(mixTarget);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const float g = drive_.next();
        const float mix = mix_.next();
        for (int c = 0; c < 2; ++c) {
            const float x = in.channel(c)[i];
            if (mix == 0.0f) {
                out.channel(c)[i] = x;
                continue;
            }
            out.channel(c)[i] = x * (1.0f - mix) + shape(c, x * g, brokenSpeaker) * mix;
        }
    }
    // The speaker's filters ring for far less than a tenth of a second.
    if (rest_.settle(in.silent, out, frames, 4410)) {
        for (int c = 0; c < 2; ++c) {
            highPass_[c].reset();
            lowPass_[c].reset();
        }
    }
}

} // namespace quelmo::engine
