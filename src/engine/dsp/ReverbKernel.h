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
    // How long the reverberator can hold sound without any of it reaching the output: the pre-delay
    // plus the longest comb and the allpass chain.
    std::size_t memoryFrames() const;
    // Wet signal only, for any number of frames. Each comb and allpass depends only on its own input
    // history, so each works through a run of up to maxRun frames in one tight loop: the same
    // result as going frame by frame, at a fraction of the cost.
    void process(const float* inLeft, const float* inRight, float* outLeft, float* outRight, std::size_t frames);
    static constexpr std::size_t maxRun = 128;

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
    void processRun(const float* inLeft, const float* inRight, float* outLeft, float* outRight, std::size_t frames);

    std::vector<float> preDelay_;
    std::array<float, maxRun> input_{};
    std::array<float, maxRun> wet_[2]{};
    std::size_t preDelayIndex_ = 0;
    std::size_t preDelayLength_ = 0;
    double sampleRate_;
    float feedback_ = 0.84f;
    float damp_ = 0.2f;
    float wet1_ = 1.0f;
    float wet2_ = 0.0f;
};

} // namespace quelmo::engine
