#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace quelmo::engine {

// Fills frames of deinterleaved stereo output. Called on the driver's render thread.
using RenderFunction = std::function<void(float* const* channels, std::uint32_t frames)>;

// Where the engine's output goes: a sound server, or memory for tests and offline rendering.
class AudioDriver {
public:
    virtual ~AudioDriver() = default;

    // Main thread. Starts calling render from the driver's thread. Returns nothing on success, or
    // a description of why the device could not start. Never retries by itself.
    virtual std::optional<std::string> start(RenderFunction render) = 0;
    // Main thread. After it returns, render is no longer called.
    virtual void stop() = 0;
};

} // namespace quelmo::engine
