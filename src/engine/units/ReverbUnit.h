#pragma once

#include "dsp/ReverbKernel.h"
#include "dsp/SmoothedValue.h"
#include "graph/AudioNode.h"
#include "graph/RestGate.h"
#include "util/AtomicParameter.h"

#include <atomic>

namespace quelmo::engine {

// Room reverb with factory presets and a wet/dry mix (percent, 0..100). At 0 % wet the output is
// the input, bit for bit; the reverberator keeps running, so raising the mix brings in a live tail.
class ReverbUnit : public AudioNode {
public:
    // Numbered as the platform reverb's factory presets.
    enum class Preset {
        smallRoom = 0,
        mediumRoom = 1,
        largeRoom = 2,
        mediumHall = 3,
        largeHall = 4,
        plate = 5,
        mediumChamber = 6,
        largeChamber = 7,
        cathedral = 8,
        largeRoom2 = 9,
        mediumHall2 = 10,
        mediumHall3 = 11,
        largeHall2 = 12,
    };

    ReverbUnit();

    // Out-of-range numbers are ignored.
    void loadFactoryPreset(int preset);
    int preset() const { return preset_.load(std::memory_order_relaxed); }
    void setWetDryMix(float percent) { wetDryMix_.set(percent); }
    float wetDryMix() const { return wetDryMix_.get(); }

    static ReverbKernel::Settings presetSettings(Preset preset);

protected:
    void render(const RenderContext& context, std::uint32_t frames, StereoBus& out) override;

private:
    std::atomic<int> preset_{static_cast<int>(Preset::mediumHall)};
    int appliedPreset_ = -1;
    AtomicParameter wetDryMix_{100.0f};
    ReverbKernel kernel_;
    SmoothedValue mix_;
    bool firstBlock_ = true;
    bool dryBypass_ = false; // fully dry: the kernel is not run
    RestGate rest_;
};

} // namespace quelmo::engine
