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
