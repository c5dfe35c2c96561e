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
    // a description of why the device could not start. A driver that is reconnecting when start()
    // returns (isReconnecting()) has started all the same: it keeps the timeline and plays as soon
    // as its device answers. Any other failure is final until the next start().
    virtual std::optional<std::string> start(RenderFunction render) = 0;
    // Main thread. After it returns, render is no longer called.
    virtual void stop() = 0;

    // Main thread. A device that can pause cheaply while nothing sounds (no callbacks, no wake-ups)
    // says so here; the engine then suspends it after a stretch of silence and resumes it the
    // moment something is scheduled.
    virtual bool canSuspend() const { return false; }
    virtual void setSuspended(bool /*suspended*/) {}

    // Any thread. How many times the device ran out of audio (and played a gap) since it started.
    virtual std::uint64_t underflows() const { return 0; }
    // Any thread. At the last underflow, how long the device had gone without asking for audio
    // (seconds): near its latency when the requests stopped coming, small when they came and the
    // audio written fell short. 0 where the device does not tell.
    virtual double requestGapAtLastUnderflow() const { return 0.0; }
    // Main thread, while started. Keeps the output on the device it plays on now, even when the
    // default output changes later, and connects to that device again on the next start: so the
    // engine's sound cannot follow the default into a sink that is being recorded. Returns the
    // reason on failure. A driver without devices has nothing to pin and succeeds.
    virtual std::optional<std::string> pinToCurrentDevice() { return std::nullopt; }
    // Main thread. Undoes the pin: the output follows the default device again (now, if started).
    virtual std::optional<std::string> followDefaultDevice() { return std::nullopt; }
    // Main thread. The device the output plays on now; empty when the driver has none.
    virtual std::string deviceName() const { return {}; }

    // Any thread. The output latency the device is set to, in seconds (0 where that means nothing).
    virtual double latencySeconds() const { return 0.0; }

    // Any thread. True while a started driver has lost its sound server and is trying to connect
    // again; the engine's timeline keeps running meanwhile.
    virtual bool isReconnecting() const { return false; }
    // Any thread. How many times a started driver got its output back after losing it.
    virtual std::uint64_t reconnections() const { return 0; }
    // Main thread, before start. Called on a thread of the driver's own (never the render thread's
    // block in progress) each time isReconnecting() or reconnections() change; it must not block.
    virtual void setConnectionListener(std::function<void()> /*listener*/) {}
};

} // namespace quelmo::engine
