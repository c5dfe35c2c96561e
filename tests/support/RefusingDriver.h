#pragma once

#include "engine/devices/AudioDriver.h"
#include "engine/devices/OfflineDriver.h"

#include <functional>
#include <memory>

namespace quelmo::test {

// An output that never starts, as when no sound server answers.
class RefusingDriver final : public engine::AudioDriver {
public:
    std::optional<std::string> start(engine::RenderFunction) override { return "Connection refused"; }
    void stop() override {}
};

// An output whose sound server is not there yet, as at a login that starts the deck first: start()
// says why and keeps trying, as the PulseAudio output does. serverAppears() connects it; the test
// then pulls frames from it as from the offline driver.
class LateServerDriver final : public engine::AudioDriver {
public:
    std::optional<std::string> start(engine::RenderFunction render) override {
        render_ = std::move(render);
        reconnecting_ = true;
        return "Connection refused";
    }
    void stop() override {
        connected_.stop();
        render_ = {};
        reconnecting_ = false;
    }
    bool isReconnecting() const override { return reconnecting_; }
    std::uint64_t reconnections() const override { return reconnections_; }
    void setConnectionListener(std::function<void()> listener) override { listener_ = std::move(listener); }

    void serverAppears() {
        connected_.start(render_);
        reconnecting_ = false;
        ++reconnections_;
        if (listener_) {
            listener_();
        }
    }
    std::shared_ptr<engine::AudioBuffer> renderFrames(std::uint32_t frames) { return connected_.renderFrames(frames); }

private:
    engine::OfflineDriver connected_;
    engine::RenderFunction render_;
    bool reconnecting_ = false;
    std::uint64_t reconnections_ = 0;
    std::function<void()> listener_;
};

// What a test deck renders into: an offline output the test pulls, or, without a sound server, one
// that refuses to start.
inline std::function<std::unique_ptr<engine::AudioDriver>()> deckDriver(bool soundServer) {
    return [soundServer]() -> std::unique_ptr<engine::AudioDriver> {
        if (soundServer) {
            return std::make_unique<engine::OfflineDriver>();
        }
        return std::make_unique<RefusingDriver>();
    };
}

} // namespace quelmo::test
