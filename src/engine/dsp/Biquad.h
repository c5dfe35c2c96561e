#pragma once

#include <complex>

namespace quelmo::engine {

// Filter shapes, numbered as the EQ's band types: parametric 0, low-pass 1, high-pass 2,
// resonant low-pass 3, resonant high-pass 4, band-pass 5, band-stop 6, low shelf 7, high shelf 8,
// resonant low shelf 9, resonant high shelf 10.
enum class FilterType {
    parametric = 0,
    lowPass = 1,
    highPass = 2,
    resonantLowPass = 3,
    resonantHighPass = 4,
    bandPass = 5,
    bandStop = 6,
    lowShelf = 7,
    highShelf = 8,
    resonantLowShelf = 9,
    resonantHighShelf = 10,
};

// Normalised second-order section (a0 = 1).
struct BiquadCoefficients {
    double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;

    // Audio EQ Cookbook (R. Bristow-Johnson) designs. Low-pass and high-pass are Butterworth
    // (Q = 1/sqrt 2); plain shelves use slope 1; the parametric, band and resonant shapes take their
    // width from bandwidthOctaves. gainDB is used by the parametric and shelf shapes only.
    static BiquadCoefficients design(FilterType type, double frequency, double bandwidthOctaves, double gainDB,
                                     double sampleRate);

    // True when the section passes its input unchanged (parametric and shelves at 0 dB).
    bool isIdentity() const { return b0 == 1.0 && b1 == a1 && b2 == a2; }

    // Complex response at frequency (Hz).
    std::complex<double> response(double frequency, double sampleRate) const;
};

// One channel of a transposed direct form II section, state in double precision so low shelves
// stay clean.
class BiquadFilter {
public:
    void reset() { z1_ = z2_ = 0.0; }
    float process(const BiquadCoefficients& c, float input) {
        const double x = input;
        const double y = c.b0 * x + z1_;
        z1_ = c.b1 * x - c.a1 * y + z2_;
        z2_ = c.b2 * x - c.a2 * y;
        return static_cast<float>(y);
    }

private:
    double z1_ = 0.0;
    double z2_ = 0.0;
};

} // namespace quelmo::engine
