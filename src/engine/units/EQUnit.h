#pragma once

#include "dsp/Biquad.h"
#include "dsp/SmoothedValue.h"
#include "graph/AudioNode.h"
#include "graph/RestGate.h"
#include "util/AtomicParameter.h"

#include <atomic>
#include <memory>
#include <vector>

namespace quelmo::engine {

// A multi-band EQ: a global gain (dB) and bands in series, each with a filter type, frequency (Hz),
// bandwidth (octaves), gain (dB) and bypass. Frequency and gain glide over about 20 ms so moving a
// control does not click. Parametric and shelf bands at 0 dB are skipped, so they are exactly
// transparent.
class EQUnit : public AudioNode {
public:
    class Band {
    public:
        void setFilterType(FilterType type) { type_.store(static_cast<int>(type), std::memory_order_relaxed); }
        FilterType filterType() const { return static_cast<FilterType>(type_.load(std::memory_order_relaxed)); }
        void setFrequency(float hz) { frequency_.set(hz); }
        float frequency() const { return frequency_.get(); }
        void setBandwidth(float octaves) { bandwidth_.set(octaves); }
        float bandwidth() const { return bandwidth_.get(); }
        void setGain(float dB) { gain_.set(dB); }
        float gain() const { return gain_.get(); }
        void setBypass(bool bypass) { bypass_.store(bypass, std::memory_order_relaxed); }
        bool bypass() const { return bypass_.load(std::memory_order_relaxed); }
        // The whole band at once, switched in.
        void configure(FilterType type, float hz, float octaves, float dB) {
            setFilterType(type);
            setFrequency(hz);
            setBandwidth(octaves);
            setGain(dB);
            setBypass(false);
        }

    private:
        std::atomic<int> type_{static_cast<int>(FilterType::parametric)};
        AtomicParameter frequency_{1000.0f};
        AtomicParameter bandwidth_{0.5f};
        AtomicParameter gain_{0.0f};
        std::atomic<bool> bypass_{true};
    };

    explicit EQUnit(std::size_t bandCount);

    std::size_t bandCount() const { return bands_.size(); }
    Band& band(std::size_t index) { return *bands_[index]; }
    const Band& band(std::size_t index) const { return *bands_[index]; }

    void setGlobalGain(float dB) { globalGain_.set(dB); }
    float globalGain() const { return globalGain_.get(); }

protected:
    void render(const RenderContext& context, std::uint32_t frames, StereoBus& out) override;

private:
    struct BandState {
        FilterType type = FilterType::parametric;
        double bandwidth = 0.0;
        double frequency = 0.0;
        double gain = 0.0;
        bool active = false;
        BiquadCoefficients coefficients;
        BiquadFilter filters[2];
    };

    // Moves one band's state toward its parameters; returns false when the band is skipped.
    bool updateBand(const Band& band, BandState& state, bool snap);

    std::vector<std::unique_ptr<Band>> bands_;
    std::vector<BandState> states_;
    AtomicParameter globalGain_{0.0f};
    SmoothedValue globalLinear_{1.0f};
    bool firstBlock_ = true;
    RestGate rest_;
};

} // namespace quelmo::engine
