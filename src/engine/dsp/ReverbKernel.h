#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace quelmo::engine {

// A Schroeder-Moorer reverberator in the Freeverb arrangement: eight damped feedback combs in
// parallel, then four allpasses in series, per channel, with the right channel's delays slightly
// longer for width. All memory is allocated at construction.
class ReverbKernel {
public:
    struct Settings {
        float roomSize = 0.5f; // 0..1, comb feedback
        float damping = 0.5f;  // 0..1, high-frequency loss per pass
        float width = 1.0f;    // 0..1, stereo spread of the wet signal
        float preDelaySeconds = 0.0f;
    };

    explicit ReverbKernel(double sampleRate);

    void setSettings(const Settings& settings);
    void clear();
    // Wet signal only, for one stereo frame.
    void process(float inLeft, float inRight, float& outLeft, float& outRight);

private:
    struct Comb {
        std::vector<float> buffer;
        std::size_t index = 0;
        float store = 0.0f;
    };
    struct Allpass {
        std::vector<float> buffer;
        std::size_t index = 0;
    };
    static constexpr std::size_t combCount = 8;
    static constexpr std::size_t allpassCount = 4;

    std::array<Comb, combCount> combs_[2];
    std::array<Allpass, allpassCount> allpasses_[2];
    std::vector<float> preDelay_;
    std::size_t preDelayIndex_ = 0;
    std::size_t preDelayLength_ = 0;
    double sampleRate_;
    float feedback_ = 0.84f;
    float damp_ = 0.2f;
    float wet1_ = 1.0f;
    float wet2_ = 0.0f;
};

} // namespace quelmo::engine
