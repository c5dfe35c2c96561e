#include "devices/PulseInputSource.h"

#include <pulse/pulseaudio.h>

#include <algorithm>

namespace quelmo::engine {
namespace {
constexpr std::size_t ringFrames = 44100;
constexpr std::size_t scratchFrames = 8192;
} // namespace

PulseInputSource::PulseInputSource() : ring_(ringFrames), left_(scratchFrames), right_(scratchFrames) {}

PulseInputSource::~PulseInputSource() { stop(); }

std::optional<std::string> PulseInputSource::start(const std::string& sourceName, double latencySeconds,
                                                   bool monitorsAllowed) {
    stop();
    connection_ = std::make_unique<PulseConnection>();
    auto error = connection_->openStream("production", "Quelmo capture", [&](pa_stream* stream) {
        pa_stream_set_read_callback(stream, &PulseInputSource::onRead, this);
        const auto unset = static_cast<std::uint32_t>(-1);
        pa_buffer_attr attributes{unset, unset, unset, unset, unset};
        attributes.fragsize = static_cast<std::uint32_t>(
            pa_usec_to_bytes(static_cast<pa_usec_t>(latencySeconds * 1e6), &PulseConnection::streamFormat()));
        const char* device = sourceName.empty() ? nullptr : sourceName.c_str();
        return pa_stream_connect_record(stream, device, &attributes, PA_STREAM_ADJUST_LATENCY);
    }, stream_);
    if (error) {
        connection_.reset();
        return error;
    }
    if (!monitorsAllowed && recordsAMonitor()) {
        stop();
        return std::string(notAMicrophone);
    }
    return std::nullopt;
}

bool PulseInputSource::recordsAMonitor() {
    struct Answer {
        pa_threaded_mainloop* loop;
        bool done = false;
        bool monitor = false;
    } answer{connection_->loop()};
    pa_threaded_mainloop_lock(answer.loop);
    pa_operation* operation = pa_context_get_source_info_by_index(
        connection_->context(), pa_stream_get_device_index(stream_),
        [](pa_context*, const pa_source_info* info, int endOfList, void* data) {
            auto* a = static_cast<Answer*>(data);
            if (endOfList != 0) {
                a->done = true;
                pa_threaded_mainloop_signal(a->loop, 0);
            } else if (info) {
                a->monitor = info->monitor_of_sink != PA_INVALID_INDEX;
            }
        },
        &answer);
    const bool failed = !operation || connection_->waitUntil([&answer] { return answer.done; }, 3.0).has_value();
    if (operation) {
        if (failed) {
            pa_operation_cancel(operation); // its callback must not run on an answer that is gone
        }
        pa_operation_unref(operation);
    }
    pa_threaded_mainloop_unlock(answer.loop);
    return !failed && answer.monitor;
}

void PulseInputSource::stop() {
    if (connection_) {
        connection_->close(stream_);
        connection_.reset();
    }
}

void PulseInputSource::onRead(pa_stream* stream, std::size_t, void* self) {
    static_cast<PulseInputSource*>(self)->read(stream);
}

void PulseInputSource::read(pa_stream* stream) {
    const void* data = nullptr;
    std::size_t bytes = 0;
    while (pa_stream_readable_size(stream) > 0) {
        if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0) {
            return;
        }
        if (data) { // a null pointer with a size is a hole in the stream: skip it
            const auto* interleaved = static_cast<const float*>(data);
            std::size_t frames = bytes / (2 * sizeof(float));
            while (frames > 0) {
                const std::size_t n = std::min(frames, scratchFrames);
                for (std::size_t i = 0; i < n; ++i) {
                    left_[i] = interleaved[2 * i];
                    right_[i] = interleaved[2 * i + 1];
                }
                if (consumer_) {
                    consumer_(left_.data(), right_.data(), n);
                } else {
                    const std::size_t written = ring_.write(left_.data(), right_.data(), n);
                    overruns_.fetch_add(n - written, std::memory_order_relaxed);
                }
                interleaved += 2 * n;
                frames -= n;
            }
        }
        pa_stream_drop(stream);
    }
}

} // namespace quelmo::engine
