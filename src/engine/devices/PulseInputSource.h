#pragma once

#include "devices/PulseConnection.h"
#include "util/SampleRing.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quelmo::engine {

// Captures a sound-server source (the default input, or a named source such as a sink's monitor)
// as 44.1 kHz stereo float into a ring that the render thread reads.
class PulseInputSource {
public:
    PulseInputSource();
    ~PulseInputSource();

    // Main thread. sourceName empty means the default source. Returns the reason on failure. Without
    // monitorsAllowed, a source that is an output's monitor is refused with notAMicrophone: with no
    // microphone, the server's default source is the default output's monitor, which hears every
    // application's sound rather than the room.
    std::optional<std::string> start(const std::string& sourceName, double latencySeconds = 0.02,
                                     bool monitorsAllowed = true);
    static constexpr const char* notAMicrophone = "the default input is an output's monitor, not a microphone";
    void stop();

    // Takes the captured frames, deinterleaved, on the capture thread instead of the ring (which then
    // stays empty). Set before start(). It must not block: the sound server's loop waits for it.
    using FrameConsumer = std::function<void(const float* left, const float* right, std::size_t frames)>;
    void setFrameConsumer(FrameConsumer consumer) { consumer_ = std::move(consumer); }

    SampleRing& ring() { return ring_; }
    // Frames the ring had no room for. Any thread.
    std::uint64_t overruns() const { return overruns_.load(std::memory_order_relaxed); }

private:
    static void onRead(pa_stream* stream, std::size_t bytes, void* self);
    // Whether the open stream records an output's monitor; false when the server cannot say.
    bool recordsAMonitor();
    void read(pa_stream* stream);

    std::unique_ptr<PulseConnection> connection_;
    pa_stream* stream_ = nullptr;
    SampleRing ring_;
    std::vector<float> left_;
    std::vector<float> right_;
    FrameConsumer consumer_;
    std::atomic<std::uint64_t> overruns_{0};
};

} // namespace quelmo::engine
