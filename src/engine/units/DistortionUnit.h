#pragma once

#include "dsp/Biquad.h"
#include "dsp/SmoothedValue.h"
#include "graph/AudioNode.h"
#include "graph/RestGate.h"
#include "util/AtomicParameter.h"

#include <atomic>

namespace quelmo::engine {

// Drive into a waveshaper: pre-gain (dB, -80..20) and wet/dry mix (percent, 0..100). Without a
// preset it is a smooth tanh-like saturation. The broken-speaker preset squeezes the band to a small
// cone's range, clips asymmetrically and coarsens the resolution, like an overdriven PA horn.
// At 0 % wet the output is the input, bit for bit.
class DistortionUnit : public AudioNode {
public:
    // Numbered as the platform distortion's factory presets; only these two characters exist here,
    // the other numbers fall back to the plain saturation.
    static constexpr int multiBrokenSpeaker = 3;

    DistortionUnit();

    void loadFactoryPreset(int preset) { preset_.store(preset, std::memory_order_relaxed); }
    int preset() const { return preset_.load(std::memory_order_relaxed); }
    void setPreGain(float dB) { preGain_.set(dB); }
    float preGain() const { return preGain_.get(); }
    void setWetDryMix(float percent) { wetDryMix_.set(percent); }
    float wetDryMix() const { return wetDryMix_.get(); }

protected:
    void render(const RenderContext& context, std::uint32_t frames, StereoBus& out) override;

private:
    float shape(int channel, float x, bool brokenSpeaker);

    std::atomic<int> preset_{-1};
    AtomicParameter preGain_{-6.0f};
    AtomicParameter wetDryMix_{50.0f};
    SmoothedValue drive_;
    SmoothedValue mix_;
    BiquadCoefficients coneHighPass_;
    BiquadCoefficients coneLowPass_;
    BiquadFilter highPass_[2];
    BiquadFilter lowPass_[2];
    bool firstBlock_ = true;
    RestGate rest_;
};

} // namespace quelmo::engine
