#include "units/ReverbUnit.h"

#include "AudioEngine.h"

#include <algorithm>

namespace quelmo::engine {

ReverbUnit::ReverbUnit() : AudioNode(1), kernel_(AudioEngine::sampleRate), mix_(0.0f, 0.01, AudioEngine::sampleRate) {}

ReverbKernel::Settings ReverbUnit::presetSettings(Preset preset) {
    switch (preset) {
    case Preset::smallRoom: return {0.35f, 0.6f, 0.8f, 0.002f};
    case Preset::mediumRoom: return {0.5f, 0.55f, 0.9f, 0.005f};
    case Preset::largeRoom: return {0.65f, 0.5f, 1.0f, 0.01f};
    case Preset::mediumHall: return {0.78f, 0.45f, 1.0f, 0.015f};
    case Preset::largeHall: return {0.9f, 0.35f, 1.0f, 0.025f};
    case Preset::plate: return {0.72f, 0.15f, 1.0f, 0.0f};
    case Preset::mediumChamber: return {0.6f, 0.4f, 0.9f, 0.008f};
    case Preset::largeChamber: return {0.75f, 0.4f, 1.0f, 0.012f};
    case Preset::cathedral: return {0.97f, 0.3f, 1.0f, 0.04f};
    case Preset::largeRoom2: return {0.7f, 0.45f, 1.0f, 0.012f};
    case Preset::mediumHall2: return {0.8f, 0.4f, 1.0f, 0.018f};
    case Preset::mediumHall3: return {0.82f, 0.5f, 1.0f, 0.02f};
    case Preset::largeHall2: return {0.93f, 0.3f, 1.0f, 0.03f};
    }
    return {};
}

void ReverbUnit::loadFactoryPreset(int preset) {
    if (preset >= static_cast<int>(Preset::smallRoom) && preset <= static_cast<int>(Preset::largeHall2)) {
        preset_.store(preset, std::memory_order_relaxed);
    }
}

void ReverbUnit::render(const RenderContext& context, std::uint32_t frames, StereoBus& out) {
    const StereoBus& in = pullInput(0, context, frames);
    const int preset = preset_.load(std::memory_order_relaxed);
    if (preset != appliedPreset_) {
        kernel_.setSettings(presetSettings(static_cast<Preset>(preset)));
        appliedPreset_ = preset;
    }
    const float mixTarget = std::clamp(wetDryMix_.get(), 0.0f, 100.0f) / 100.0f;
    if (rest_.resting(in.silent)) {
        out.clear(frames);
        out.silent = true;
        mix_.snapTo(mixTarget);
        return;
    }
    if (firstBlock_) {
        mix_.snapTo(mixTarget);
        firstBlock_ = false;
    }
    mix_.setTarget(mixTarget);
    if (mixTarget == 0.0f && !mix_.isSmoothing() && mix_.current() == 0.0f) {
        // Fully dry: the wet path cannot be heard, so it is not computed. Its memory goes once, so
        // a mix raised later starts from silence, as a fresh reverb does.
        if (!dryBypass_) {
            kernel_.clear();
            dryBypass_ = true;
        }
        std::copy(in.channel(0), in.channel(0) + frames, out.channel(0));
        std::copy(in.channel(1), in.channel(1) + frames, out.channel(1));
        out.silent = in.silent;
        return;
    }
    dryBypass_ = false;
    const float* inL = in.channel(0);
    const float* inR = in.channel(1);
    float* outL = out.channel(0);
    float* outR = out.channel(1);
    // The wet signal goes to the output buffer first, then is blended with the dry input.
    kernel_.process(inL, inR, outL, outR, frames);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const float mix = mix_.next();
        if (mix == 0.0f) {
            outL[i] = inL[i];
            outR[i] = inR[i];
        } else {
            outL[i] = inL[i] * (1.0f - mix) + outL[i] * mix;
            outR[i] = inR[i] * (1.0f - mix) + outR[i] * mix;
        }
    }
    if (rest_.settle(in.silent, out, frames, kernel_.memoryFrames())) {
        kernel_.clear();
    }
}

} // namespace quelmo::engine
