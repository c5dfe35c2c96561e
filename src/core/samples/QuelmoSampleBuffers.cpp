#include "samples/QuelmoSampleBuffers.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quelmo::QuelmoSampleBuffers {
namespace {

constexpr double twoPi = 2.0 * std::numbers::pi;

// A decaying sine voice: O = sin(2pi f t), E = exp(-decay t).
Buffer decayingSine(std::uint32_t frames, double frequency, double decay, float gain) {
    return makeBuffer(frames, [=](std::int64_t, double t) {
        const auto envelope = static_cast<float>(std::exp(-decay * t));
        const auto osc = static_cast<float>(std::sin(twoPi * frequency * t));
        return osc * envelope * gain;
    });
}

} // namespace

Buffer makeBuffer(std::uint32_t frames, const FillFunction& fill) {
    const auto format = engine::AudioFormat::standard(sampleRate, 2);
    if (!format) {
        return nullptr;
    }
    auto buffer = engine::AudioBuffer::create(*format, frames);
    if (!buffer) {
        return nullptr;
    }
    buffer->setFrameLength(frames);
    auto left = buffer->channel(0);
    auto right = buffer->channel(1);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        const float s = fill(static_cast<std::int64_t>(i), t);
        left[i] = s;
        right[i] = s;
    }
    return buffer;
}

Buffer kick() {
    return makeBuffer(7938, [](std::int64_t, double t) {
        const auto envelope = static_cast<float>(std::exp(-14.0 * t));
        const double frequency = 58.0 + 40.0 * std::exp(-30.0 * t);
        const auto osc = static_cast<float>(std::sin(twoPi * frequency * t));
        return osc * envelope * 0.95f;
    });
}

Buffer snare() {
    return makeBuffer(6174, [](std::int64_t index, double t) {
        const auto i = static_cast<double>(index);
        const auto envelope = static_cast<float>(std::exp(-18.0 * t));
        const double tone = 0.35 * std::sin(twoPi * 220.0 * t);
        const double rattle = std::sin(17.3 * i) * std::cos(3.1 * i + 400.0 * t);
        return (static_cast<float>(tone) + static_cast<float>(rattle) * 0.65f) * envelope * 0.7f;
    });
}

Buffer hiHat() {
    return makeBuffer(2646, [](std::int64_t, double t) {
        const auto envelope = static_cast<float>(std::exp(-70.0 * t));
        const auto osc = static_cast<float>(std::sin(twoPi * 8000.0 * t) + 0.5 * std::sin(twoPi * 12000.0 * t));
        return osc * envelope * 0.12f;
    });
}

Buffer clap() {
    return makeBuffer(4410, [](std::int64_t index, double t) {
        const auto i = static_cast<double>(index);
        const auto envelope = static_cast<float>(std::exp(-35.0 * t));
        const auto osc = static_cast<float>(std::sin(11.7 * i + 900.0 * t));
        return osc * envelope * 0.45f;
    });
}

Buffer bassNote() { return decayingSine(9702, 82.0, 6.0, 0.5f); }

Buffer riser() {
    return makeBuffer(19845, [](std::int64_t, double t) {
        const auto envelope = static_cast<float>(std::min(1.0, 6.0 * t) * std::exp(-8.0 * std::max(0.0, t - 0.35)));
        const double frequency = 200.0 + 2800.0 * t / 0.45;
        const auto osc = static_cast<float>(std::sin(twoPi * frequency * t));
        return osc * envelope * 0.22f;
    });
}

Buffer chop() { return decayingSine(2205, 1400.0, 90.0, 0.4f); }

Buffer airhorn() {
    return makeBuffer(15434, [](std::int64_t, double t) {
        const auto envelope = static_cast<float>(std::exp(-4.0 * t));
        const double f1 = 440.0 + 30.0 * std::sin(30.0 * t);
        const double f2 = 880.0 + 20.0 * std::sin(40.0 * t);
        const auto osc = static_cast<float>(0.55 * std::sin(twoPi * f1 * t) + 0.45 * std::sin(twoPi * f2 * t));
        return osc * envelope * 0.18f;
    });
}

Buffer beatTick() { return decayingSine(1323, 1200.0, 120.0, 0.35f); }

} // namespace quelmo::QuelmoSampleBuffers
