#pragma once

#include "Tone.h"
#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "engine/devices/OfflineDriver.h"
#include "engine/file/AudioFile.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <numbers>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace quelmo::engine::test {

using quelmo::test::amplitudeAt;
using Planes = std::vector<std::vector<float>>;

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

// Attaches the units and connects source, already attached, through them in order into the main mixer.
inline void chain(AudioEngine& engine, std::shared_ptr<AudioNode> source,
                  std::initializer_list<std::shared_ptr<AudioNode>> units) {
    for (const auto& unit : units) {
        engine.attach(unit);
        engine.connect(source, unit);
        source = unit;
    }
    engine.connect(source, engine.mainMixer());
}

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

// A scratch directory of the test's own, removed with everything in it.
struct ScratchDir {
    std::filesystem::path path;

    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quelmo-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot make a scratch directory");
        }
        path = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
};

// Everything read() delivers from the current position, `chunk` frames at a time.
inline Planes readToEnd(AudioFile& file, std::uint32_t chunk) {
    Planes planes(file.processingFormat().channelCount);
    auto buffer = AudioBuffer::create(file.processingFormat(), chunk);
    std::string error;
    while (file.read(*buffer, chunk, &error) > 0) {
        for (std::uint32_t c = 0; c < planes.size(); ++c) {
            planes[c].insert(planes[c].end(), buffer->channel(c).begin(), buffer->channel(c).end());
        }
    }
    EXPECT_EQ(buffer->frameLength(), 0u) << error;
    return planes;
}

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

// The strongest frequency at 44.1 kHz between lowHz and highHz, in steps of stepHz.
inline double dominantFrequency(const float* samples, std::size_t count, double lowHz, double highHz,
                                double stepHz = 5.0) {
    double best = lowHz;
    double bestAmplitude = -1.0;
    for (double f = lowHz; f <= highHz; f += stepHz) {
        const double a = amplitudeAt(std::span(samples, count), 44100.0, f);
        if (a > bestAmplitude) {
            bestAmplitude = a;
            best = f;
        }
    }
    return best;
}

} // namespace quelmo::engine::test
