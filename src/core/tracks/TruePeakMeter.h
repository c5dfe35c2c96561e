#pragma once

#include <array>
#include <span>

namespace quelmo {

// The true peak of one channel (ITU-R BS.1770 Annex 2: the highest absolute value of the signal
// oversampled four times), fed in order in chunks of any size.
//
// Only where it could hold a new peak is the signal oversampled: between two samples neither of
// which reaches half the peak found so far (6 dB below), music's inter-sample peaks, at most about
// 3 dB over their neighbours, cannot reach it. So a track is oversampled where it is loud, not
// everywhere, which makes the meter several times cheaper than libebur128's, which oversamples
// every sample.
class TruePeakMeter {
public:
    void add(std::span<const float> samples);
    // Linear: 1 is full scale.
    double truePeak() const { return peak_; }

private:
    void addEach(std::span<const float> samples);

    static constexpr int taps = 12; // per phase of the 48-tap interpolator
    std::array<float, 2 * taps> history_{}; // the last samples, twice over, newest at `at_ + taps - 1`
    int at_ = 0;
    double peak_ = 0.0;
};

} // namespace quelmo
