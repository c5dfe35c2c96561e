#pragma once

#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "engine/devices/OfflineDriver.h"

#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <vector>

namespace quelmo::engine::test {

// An engine rendering into memory, started.
struct OfflineEngine {
    OfflineDriver* driver = nullptr;
    std::unique_ptr<AudioEngine> engine;

    OfflineEngine() {
        auto offline = std::make_unique<OfflineDriver>();
        driver = offline.get();
        engine = std::make_unique<AudioEngine>(std::move(offline));
        engine->start();
    }

    std::shared_ptr<AudioBuffer> render(std::uint32_t frames, std::uint32_t block = 512) {
        auto out = driver->renderFrames(frames, block);
        engine->dispatchEvents();
        return out;
    }

    // Attaches node and connects it to the main mixer.
    template <typename Node>
    std::shared_ptr<Node> add(std::shared_ptr<Node> node) {
        engine->attach(node);
        engine->connect(node, engine->mainMixer());
        return node;
    }
};

// An offline driver that reports suspension like a sound-server output would.
class SuspendableDriver final : public AudioDriver {
public:
    std::optional<std::string> start(RenderFunction render) override { return offline.start(std::move(render)); }
    void stop() override { offline.stop(); }
    bool canSuspend() const override { return true; }
    void setSuspended(bool value) override { suspended = value; }
    OfflineDriver offline;
    bool suspended = false;
};

inline std::shared_ptr<AudioBuffer> makeBuffer(std::uint32_t frames, const std::function<float(std::uint32_t)>& f,
                                               std::uint32_t channels = 2, double rate = 44100.0) {
    auto buffer = AudioBuffer::create(*AudioFormat::standard(rate, channels), frames);
    buffer->setFrameLength(frames);
    for (std::uint32_t c = 0; c < channels; ++c) {
        for (std::uint32_t i = 0; i < frames; ++i) {
            buffer->channel(c)[i] = f(i);
        }
    }
    return buffer;
}

inline std::shared_ptr<AudioBuffer> constant(std::uint32_t frames, float value) {
    return makeBuffer(frames, [value](std::uint32_t) { return value; });
}

inline std::shared_ptr<AudioBuffer> sine(double hz, double seconds, float amplitude = 0.5f) {
    const auto frames = static_cast<std::uint32_t>(seconds * 44100.0);
    return makeBuffer(frames, [=](std::uint32_t i) {
        return amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * i / 44100.0));
    });
}

inline double rms(const float* samples, std::size_t count) {
    double sum = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        sum += static_cast<double>(samples[i]) * samples[i];
    }
    return count ? std::sqrt(sum / static_cast<double>(count)) : 0.0;
}

// Magnitude of one frequency in a stretch of samples (Goertzel).
inline double magnitudeAt(const float* samples, std::size_t count, double hz, double rate = 44100.0) {
    const double w = 2.0 * std::numbers::pi * hz / rate;
    const double coefficient = 2.0 * std::cos(w);
    double s1 = 0.0, s2 = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        const double s = samples[i] + coefficient * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    return std::sqrt(s1 * s1 + s2 * s2 - coefficient * s1 * s2) / static_cast<double>(count) * 2.0;
}

// The strongest frequency between lowHz and highHz, in steps of stepHz.
inline double dominantFrequency(const float* samples, std::size_t count, double lowHz, double highHz,
                                double stepHz = 5.0) {
    double best = lowHz;
    double bestMagnitude = -1.0;
    for (double f = lowHz; f <= highHz; f += stepHz) {
        const double m = magnitudeAt(samples, count, f);
        if (m > bestMagnitude) {
            bestMagnitude = m;
            best = f;
        }
    }
    return best;
}

} // namespace quelmo::engine::test
