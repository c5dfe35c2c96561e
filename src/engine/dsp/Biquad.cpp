#include "dsp/Biquad.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quelmo::engine {

BiquadCoefficients BiquadCoefficients::design(FilterType type, double frequency, double bandwidthOctaves,
                                              double gainDB, double sampleRate) {
    const double f = std::clamp(frequency, 10.0, 0.4999 * sampleRate);
    const double w0 = 2.0 * std::numbers::pi * f / sampleRate;
    const double cosw = std::cos(w0);
    const double sinw = std::sin(w0);
    const double bandwidth = std::clamp(bandwidthOctaves, 0.05, 5.0);
    const double alphaBandwidth = sinw * std::sinh(std::log(2.0) / 2.0 * bandwidth * w0 / sinw);
    const double alphaButterworth = sinw / std::sqrt(2.0);
    const double A = std::pow(10.0, gainDB / 40.0);

    double b0 = 1, b1 = 0, b2 = 0, a0 = 1, a1 = 0, a2 = 0;
    auto shelf = [&](bool low, double alpha) {
        const double s = 2.0 * std::sqrt(A) * alpha;
        if (low) {
            b0 = A * ((A + 1) - (A - 1) * cosw + s);
            b1 = 2 * A * ((A - 1) - (A + 1) * cosw);
            b2 = A * ((A + 1) - (A - 1) * cosw - s);
            a0 = (A + 1) + (A - 1) * cosw + s;
            a1 = -2 * ((A - 1) + (A + 1) * cosw);
            a2 = (A + 1) + (A - 1) * cosw - s;
        } else {
            b0 = A * ((A + 1) + (A - 1) * cosw + s);
            b1 = -2 * A * ((A - 1) + (A + 1) * cosw);
            b2 = A * ((A + 1) + (A - 1) * cosw - s);
            a0 = (A + 1) - (A - 1) * cosw + s;
            a1 = 2 * ((A - 1) - (A + 1) * cosw);
            a2 = (A + 1) - (A - 1) * cosw - s;
        }
    };
    auto pass = [&](bool low, double alpha) {
        b0 = low ? (1 - cosw) / 2 : (1 + cosw) / 2;
        b1 = low ? 1 - cosw : -(1 + cosw);
        b2 = b0;
        a0 = 1 + alpha;
        a1 = -2 * cosw;
        a2 = 1 - alpha;
    };

    switch (type) {
    case FilterType::parametric:
        if (gainDB == 0.0) {
            return {};
        }
        b0 = 1 + alphaBandwidth * A;
        b1 = -2 * cosw;
        b2 = 1 - alphaBandwidth * A;
        a0 = 1 + alphaBandwidth / A;
        a1 = -2 * cosw;
        a2 = 1 - alphaBandwidth / A;
        break;
    case FilterType::lowPass:
        pass(true, alphaButterworth);
        break;
    case FilterType::highPass:
        pass(false, alphaButterworth);
        break;
    case FilterType::resonantLowPass:
        pass(true, alphaBandwidth);
        break;
    case FilterType::resonantHighPass:
        pass(false, alphaBandwidth);
        break;
    case FilterType::bandPass:
        b0 = alphaBandwidth;
        b1 = 0;
        b2 = -alphaBandwidth;
        a0 = 1 + alphaBandwidth;
        a1 = -2 * cosw;
        a2 = 1 - alphaBandwidth;
        break;
    case FilterType::bandStop:
        b0 = 1;
        b1 = -2 * cosw;
        b2 = 1;
        a0 = 1 + alphaBandwidth;
        a1 = -2 * cosw;
        a2 = 1 - alphaBandwidth;
        break;
    case FilterType::lowShelf:
    case FilterType::highShelf:
        if (gainDB == 0.0) {
            return {};
        }
        shelf(type == FilterType::lowShelf, sinw / 2.0 * std::sqrt(2.0));
        break;
    case FilterType::resonantLowShelf:
    case FilterType::resonantHighShelf:
        if (gainDB == 0.0) {
            return {};
        }
        shelf(type == FilterType::resonantLowShelf, alphaBandwidth);
        break;
    }
    return {b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0};
}

std::complex<double> BiquadCoefficients::response(double frequency, double sampleRate) const {
    const double w = 2.0 * std::numbers::pi * frequency / sampleRate;
    const std::complex<double> z1 = std::polar(1.0, -w);
    const std::complex<double> z2 = z1 * z1;
    return (b0 + b1 * z1 + b2 * z2) / (1.0 + a1 * z1 + a2 * z2);
}

} // namespace quelmo::engine
