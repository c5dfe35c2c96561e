#pragma once

#include <array>
#include <cstddef>
#include <span>

namespace quelmo {

// The true peak of one channel (ITU-R BS.1770 Annex 2: the highest absolute value of the signal
// oversampled four times), fed in order in chunks of any size.
//
// Only where it could hold a new peak is the signal oversampled: a 64-sample block that, with the
// samples before it, stays 6 dB under the peak found so far is passed over, since music's
// inter-sample peaks, at most about 3 dB over their neighbours, cannot reach it there. A block
// that is oversampled is interpolated four points at a time.
class TruePeakMeter {
public:
    void add(std::span<const float> samples);
    // Linear: 1 is full scale.
    double truePeak() const { return peak_; }

private:
    static constexpr std::size_t taps = 12; // per phase of the 48-tap interpolator
    static constexpr std::size_t block = 64;
    static constexpr std::size_t held = taps - 1;
    // The last `held` samples, oldest first, then the block being measured.
    std::array<float, held + block> window_{};
    double peak_ = 0.0;
};

} // namespace quelmo
