#include "devices/PulseOutputDriver.h"

#include <pulse/pulseaudio.h>
#include <pthread.h>
#include <sched.h>

#include <algorithm>

namespace quelmo::engine {
namespace {
void pa_operation_unref_safe(pa_operation* operation) {
    if (operation) {
        pa_operation_unref(operation);
    }
}
constexpr std::size_t scratchFrames = 16384;

pa_buffer_attr bufferAttributes(double latency) {
    const auto unset = static_cast<std::uint32_t>(-1);
    pa_buffer_attr attributes{unset, unset, unset, unset, unset};
    attributes.tlength = static_cast<std::uint32_t>(
        pa_usec_to_bytes(static_cast<pa_usec_t>(latency * 1e6), &PulseConnection::streamFormat()));
    return attributes;
}
} // namespace

PulseOutputDriver::PulseOutputDriver(double targetLatencySeconds)
    : initialLatency_(targetLatencySeconds), latency_(targetLatencySeconds), left_(scratchFrames), right_(scratchFrames) {}

PulseOutputDriver::~PulseOutputDriver() { stop(); }

std::optional<std::string> PulseOutputDriver::start(RenderFunction render) {
    stop();
    corked_ = false;
    priorityAsked_ = false; // a new connection, a new thread to raise
    render_ = std::move(render);
    connection_ = std::make_unique<PulseConnection>();
    auto error = connection_->openStream("music", "Quelmo output", [this](pa_stream* stream) {
        pa_stream_set_write_callback(stream, &PulseOutputDriver::onWrite, this);
        pa_stream_set_underflow_callback(stream, &PulseOutputDriver::onUnderflow, this);
        const pa_buffer_attr attributes = bufferAttributes(latencySeconds());
        auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE);
        if (!pinnedDevice_.empty()) {
            flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_DONT_MOVE);
        }
        const char* device = pinnedDevice_.empty() ? nullptr : pinnedDevice_.c_str();
        return pa_stream_connect_playback(stream, device, &attributes, flags, nullptr, nullptr);
    }, stream_);
    if (error) {
        connection_.reset();
        render_ = nullptr;
    }
    return error;
}

void PulseOutputDriver::stop() {
    if (connection_) {
        connection_->close(stream_);
        connection_.reset();
    }
    render_ = nullptr;
}

void PulseOutputDriver::setSuspended(bool suspended) {
    if (!connection_ || !stream_) {
        return;
    }
    corked_ = suspended;
    pa_threaded_mainloop_lock(connection_->loop());
    if (suspended) {
        pa_operation_unref_safe(pa_stream_flush(stream_, nullptr, nullptr));
    } else if (latencySeconds() > initialLatency_) {
        // Gaps raised the latency while the stream played on; after a rest, try the low one again.
        changeLatency(stream_, initialLatency_);
    }
    pa_operation_unref_safe(pa_stream_cork(stream_, suspended ? 1 : 0, nullptr, nullptr));
    pa_threaded_mainloop_unlock(connection_->loop());
}

std::string PulseOutputDriver::deviceName() const {
    if (!connection_ || !stream_) {
        return {};
    }
    pa_threaded_mainloop_lock(connection_->loop());
    const char* name = pa_stream_get_device_name(stream_);
    std::string result = name ? name : "";
    pa_threaded_mainloop_unlock(connection_->loop());
    return result;
}

std::optional<std::string> PulseOutputDriver::pinToCurrentDevice() {
    if (!connection_ || !stream_) {
        return "the output is not playing";
    }
    const std::string device = deviceName();
    if (device.empty()) {
        return "the output's device has no name";
    }
    if (device == pinnedDevice_) {
        return std::nullopt;
    }
    // Moving a stream to the sink it is on changes nothing on the server, and a default-sink change
    // moves even streams that asked for their sink by name; a stream opened on a named sink with
    // PA_STREAM_DONT_MOVE stays. So the stream is opened again that way: a gap of a few
    // milliseconds, once.
    pinnedDevice_ = device;
    if (auto error = reopen()) {
        pinnedDevice_.clear();
        if (auto unpinned = reopen()) {
            return "cannot keep the output on " + device + ": " + *error + "; cannot reopen it: " + *unpinned;
        }
        return "cannot keep the output on " + device + ": " + *error;
    }
    return std::nullopt;
}

std::optional<std::string> PulseOutputDriver::followDefaultDevice() {
    if (pinnedDevice_.empty()) {
        return std::nullopt;
    }
    pinnedDevice_.clear();
    if (!connection_ || !stream_) {
        return std::nullopt;
    }
    if (auto error = reopen()) {
        return "cannot move the output to the default device: " + *error;
    }
    return std::nullopt;
}

std::optional<std::string> PulseOutputDriver::reopen() {
    RenderFunction render = render_;
    const bool corked = corked_;
    if (auto error = start(render)) {
        return error;
    }
    if (corked) {
        setSuspended(true);
    }
    return std::nullopt;
}

void PulseOutputDriver::onWrite(pa_stream* stream, std::size_t bytes, void* self) {
    static_cast<PulseOutputDriver*>(self)->write(stream, bytes);
}

void PulseOutputDriver::onUnderflow(pa_stream* stream, void* self) {
    // On the connection's thread, inside the main loop: the stream may be changed here.
    auto* driver = static_cast<PulseOutputDriver*>(self);
    driver->underflows_.fetch_add(1, std::memory_order_relaxed);
    const double latency = driver->latencySeconds();
    if (latency + latencyStep <= maxLatency + 1e-9) {
        driver->changeLatency(stream, latency + latencyStep);
    }
}

void PulseOutputDriver::changeLatency(pa_stream* stream, double latency) {
    latency_.store(latency, std::memory_order_relaxed);
    const pa_buffer_attr attributes = bufferAttributes(latency);
    pa_operation_unref_safe(pa_stream_set_buffer_attr(stream, &attributes, nullptr, nullptr));
}

void PulseOutputDriver::write(pa_stream* stream, std::size_t bytes) {
    if (!priorityAsked_) {
        // Ask once for real-time scheduling, below the sound server's own threads, so a busy
        // desktop cannot keep this thread from refilling the stream in time. Where the account may
        // not have it, the request fails and the thread keeps its normal priority.
        priorityAsked_ = true;
        sched_param parameters{};
        parameters.sched_priority = realtimePriority;
        pthread_setschedparam(pthread_self(), SCHED_FIFO, &parameters);
    }
    constexpr std::size_t frameBytes = 2 * sizeof(float);
    while (bytes >= frameBytes) {
        void* data = nullptr;
        std::size_t granted = std::min(bytes, scratchFrames * frameBytes);
        if (pa_stream_begin_write(stream, &data, &granted) < 0 || !data) {
            return;
        }
        const std::size_t frames = std::min(granted / frameBytes, scratchFrames);
        if (frames == 0) {
            pa_stream_cancel_write(stream);
            return;
        }
        float* channels[2] = {left_.data(), right_.data()};
        render_(channels, static_cast<std::uint32_t>(frames));
        auto* interleaved = static_cast<float*>(data);
        for (std::size_t i = 0; i < frames; ++i) {
            interleaved[2 * i] = left_[i];
            interleaved[2 * i + 1] = right_[i];
        }
        pa_stream_write(stream, data, frames * frameBytes, nullptr, 0, PA_SEEK_RELATIVE);
        bytes -= std::min(bytes, frames * frameBytes);
    }
}

} // namespace quelmo::engine
