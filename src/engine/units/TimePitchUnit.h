#pragma once

#include "graph/AudioNode.h"
#include "util/AtomicParameter.h"

#include <memory>
#include <vector>

namespace RubberBand {
class RubberBandStretcher;
}

namespace quelmo::engine {

// Changes playback rate and pitch independently, on Rubber Band's real-time stretcher: rate is a
// speed factor (2 plays twice as fast, in half the time; 1/32..32) and pitch is in cents
// (-2400..2400). At rate 1 and pitch 0 the unit is bypassed exactly: it passes its input through
// untouched and at the engine's own timing.
//
// The stretcher is made and sized on the main thread, so processing never allocates. When the unit
// leaves bypass, the stretcher is reset and primed with its preferred start padding, and its start
// delay is dropped, so the first output frame lines up with the first input frame. While active,
// the unit pulls as many input frames as the stretcher asks for; nodes upstream then run on the
// unit's own input clock.
class TimePitchUnit : public AudioNode {
public:
    TimePitchUnit();
    ~TimePitchUnit() override;

    void setRate(float rate) { rate_.set(rate); }
    float rate() const { return rate_.get(); }
    void setPitch(float cents) { pitch_.set(cents); }
    float pitch() const { return pitch_.get(); }

protected:
    void render(const RenderContext& context, std::uint32_t frames, StereoBus& out) override;

private:
    void applyRatios(double rate, double cents);
    void prime();

    AtomicParameter rate_{1.0f};
    AtomicParameter pitch_{0.0f};
    std::unique_ptr<RubberBand::RubberBandStretcher> stretcher_;
    std::vector<float> scratch_[2];
    bool active_ = false;
    double appliedRate_ = 1.0;
    double appliedCents_ = 0.0;
    std::size_t toDiscard_ = 0;
    std::int64_t inputClock_ = 0;
};

} // namespace quelmo::engine
