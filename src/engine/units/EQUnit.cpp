#include "units/EQUnit.h"

#include "AudioEngine.h"

#include <algorithm>
#include <cmath>

namespace quelmo::engine {
namespace {
constexpr std::uint32_t subBlock = 32;
// Fraction of the remaining distance covered per sub-block: about a 20 ms glide.
const double glide = 1.0 - std::exp(-static_cast<double>(subBlock) / (0.02 * AudioEngine::sampleRate));
} // namespace

EQUnit::EQUnit(std::size_t bandCount) : AudioNode(1), states_(bandCount) {
    for (std::size_t i = 0; i < bandCount; ++i) {
        bands_.push_back(std::make_unique<Band>());
    }
}

bool EQUnit::updateBand(const Band& band, BandState& state, bool snap) {
    if (band.bypass()) {
        state.active = false;
        return false;
    }
    const FilterType type = band.filterType();
    const double bandwidth = band.bandwidth();
    const double frequency = std::clamp(static_cast<double>(band.frequency()), 10.0, 0.4999 * AudioEngine::sampleRate);
    const double gain = band.gain();
    bool changed = !state.active || type != state.type || bandwidth != state.bandwidth;
    if (!state.active) {
        state.filters[0].reset();
        state.filters[1].reset();
        snap = true;
    }
    if (snap) {
        changed = changed || frequency != state.frequency || gain != state.gain;
        state.frequency = frequency;
        state.gain = gain;
    } else {
        if (frequency != state.frequency) {
            state.frequency *= std::pow(frequency / state.frequency, glide);
            if (std::fabs(state.frequency / frequency - 1.0) < 1e-4) {
                state.frequency = frequency;
            }
            changed = true;
        }
        if (gain != state.gain) {
            state.gain += (gain - state.gain) * glide;
            if (std::fabs(state.gain - gain) < 1e-3) {
                state.gain = gain;
            }
            changed = true;
        }
    }
    state.type = type;
    state.bandwidth = bandwidth;
    state.active = true;
    if (changed) {
        state.coefficients =
            BiquadCoefficients::design(type, state.frequency, bandwidth, state.gain, AudioEngine::sampleRate);
    }
    return !state.coefficients.isIdentity();
}

void EQUnit::render(const RenderContext& context, std::uint32_t frames, StereoBus& out) {
    const StereoBus& in = pullInput(0, context, frames);
    if (rest_.resting(in.silent)) {
        out.clear(frames);
        out.silent = true;
        return;
    }
    out.copyFrom(in, frames);
    const bool snap = firstBlock_;
    for (std::uint32_t start = 0; start < frames; start += subBlock) {
        const std::uint32_t n = std::min(subBlock, frames - start);
        for (std::size_t b = 0; b < bands_.size(); ++b) {
            BandState& state = states_[b];
            if (!updateBand(*bands_[b], state, snap && start == 0)) {
                continue;
            }
            // Both channels in one loop: two independent recursions keep the pipeline full.
            float* left = out.channel(0) + start;
            float* right = out.channel(1) + start;
            const BiquadCoefficients& k = state.coefficients;
            for (std::uint32_t i = 0; i < n; ++i) {
                left[i] = state.filters[0].process(k, left[i]);
                right[i] = state.filters[1].process(k, right[i]);
            }
        }
    }

    const float linear = std::pow(10.0f, globalGain_.get() / 20.0f);
    if (firstBlock_) {
        globalLinear_.snapTo(linear);
        firstBlock_ = false;
    }
    globalLinear_.setTarget(linear);
    if (globalLinear_.isSmoothing() || linear != 1.0f) {
        for (std::uint32_t i = 0; i < frames; ++i) {
            const float g = globalLinear_.next();
            out.channel(0)[i] *= g;
            out.channel(1)[i] *= g;
        }
    }
    // A twentieth of a second of quiet output: longer than any band's ringing stays inaudible.
    if (rest_.settle(in.silent, out, frames, 2205)) {
        for (BandState& state : states_) {
            state.filters[0].reset();
            state.filters[1].reset();
        }
    }
}

} // namespace quelmo::engine
