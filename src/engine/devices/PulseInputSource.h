#pragma once

#include "devices/PulseConnection.h"
#include "util/SampleRing.h"

#include <atomic>
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

    // Main thread. sourceName empty means the default source. Returns the reason on failure.
    std::optional<std::string> start(const std::string& sourceName, double latencySeconds = 0.02);
    void stop();

    SampleRing& ring() { return ring_; }
    // Frames the ring had no room for. Any thread.
    std::uint64_t overruns() const { return overruns_.load(std::memory_order_relaxed); }

private:
    static void onRead(pa_stream* stream, std::size_t bytes, void* self);
    void read(pa_stream* stream);

    std::unique_ptr<PulseConnection> connection_;
    pa_stream* stream_ = nullptr;
    SampleRing ring_;
    std::vector<float> left_;
    std::vector<float> right_;
    std::atomic<std::uint64_t> overruns_{0};
};

} // namespace quelmo::engine
