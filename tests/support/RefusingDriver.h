#pragma once

#include "engine/devices/AudioDriver.h"

namespace quelmo::test {

// An output that never starts, as when no sound server answers.
class RefusingDriver final : public engine::AudioDriver {
public:
    std::optional<std::string> start(engine::RenderFunction) override { return "Connection refused"; }
    void stop() override {}
};

} // namespace quelmo::test
