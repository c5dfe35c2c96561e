#pragma once

#include "dsp/SmoothedValue.h"
#include "graph/AudioNode.h"
#include "graph/RestGate.h"
#include "util/AtomicParameter.h"

#include <vector>

namespace quelmo::engine {

// A feedback delay: delay time (seconds, 0..2; at least one sample), feedback (percent, -100..100), wet/dry mix (percent,
// 0..100) and a low-pass cutoff (Hz) on what is fed back, so repeats darken. A time change glides
// (about 50 ms) instead of jumping. At 0 % wet the output is the input, bit for bit.
class DelayUnit : public AudioNode {
public:
    static constexpr double maxDelaySeconds = 2.0;

    DelayUnit();

    void setDelayTime(float seconds) { delayTime_.set(seconds); }
    float delayTime() const { return delayTime_.get(); }
    void setFeedback(float percent) { feedback_.set(percent); }
    float feedback() const { return feedback_.get(); }
    void setWetDryMix(float percent) { wetDryMix_.set(percent); }
    float wetDryMix() const { return wetDryMix_.get(); }
    // At or above half the sample rate the feedback path is not filtered.
    void setLowPassCutoff(float hz) { lowPassCutoff_.set(hz); }
    float lowPassCutoff() const { return lowPassCutoff_.get(); }

protected:
    void render(const RenderContext& context, std::uint32_t frames, StereoBus& out) override;

private:
    AtomicParameter delayTime_{1.0f};
    AtomicParameter feedback_{50.0f};
    AtomicParameter wetDryMix_{100.0f};
    AtomicParameter lowPassCutoff_{15000.0f};

    std::vector<float> lines_[2];
    std::size_t writeIndex_ = 0;
    float lowPassState_[2] = {0.0f, 0.0f};
    SmoothedValue delaySamples_;
    SmoothedValue mix_;
    bool firstBlock_ = true;
    RestGate rest_;
};

} // namespace quelmo::engine
