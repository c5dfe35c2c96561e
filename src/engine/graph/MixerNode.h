#pragma once

#include "dsp/SmoothedValue.h"
#include "graph/AudioNode.h"
#include "util/AtomicParameter.h"

namespace quelmo::engine {

// Sums its inputs, then applies its output volume and balance. Balance -1 is hard left, +1 hard
// right; at 0 both channels pass at unity, so a mixer at its defaults is bit-transparent.
class MixerNode : public AudioNode {
public:
    static constexpr std::size_t maxMixerInputs = 64;

    MixerNode();

    // Main thread. Linear gain, 0 or more.
    void setVolume(float volume) { volume_.set(volume); }
    float volume() const { return volume_.get(); }
    // Main thread. Balance in -1..1 (clamped).
    void setPan(float pan) { pan_.set(pan); }
    float pan() const { return pan_.get(); }

protected:
    void render(const RenderContext& context, std::uint32_t frames, StereoBus& out) override;

private:
    AtomicParameter volume_{1.0f};
    AtomicParameter pan_{0.0f};
    SmoothedValue leftGain_{1.0f};
    SmoothedValue rightGain_{1.0f};
    bool firstBlock_ = true;
};

} // namespace quelmo::engine
