#include "devices/PulseOutputDriver.h"

#include <pulse/pulseaudio.h>
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string_view>

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

std::optional<double> PulseOutputDriver::latencyFromText(const char* text) {
    const std::string_view digits = text ? text : "";
    int ms = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), ms);
    if (digits.empty() || error != std::errc{} || end != digits.data() + digits.size() || ms < 5 || ms > 1000) {
        return std::nullopt;
    }
    return ms / 1000.0;
}

double PulseOutputDriver::startingLatency() {
    return latencyFromText(std::getenv("QUELMO_OUTPUT_LATENCY_MS")).value_or(defaultLatency);
}

PulseOutputDriver::PulseOutputDriver(double targetLatencySeconds)
    : initialLatency_(targetLatencySeconds), latency_(targetLatencySeconds),
      ladder_(targetLatencySeconds, latencyStep, maxLatency, relaxAfterSeconds), left_(scratchFrames), right_(scratchFrames),
      clockLeft_(clockBlockFrames), clockRight_(clockBlockFrames) {}

PulseOutputDriver::~PulseOutputDriver() { stop(); }

std::optional<std::string> PulseOutputDriver::openConnection(std::unique_ptr<PulseConnection>& connection,
                                                             pa_stream*& stream, double latency,
                                                             double timeoutSeconds) {
    priorityAsked_ = false; // a new connection, a new thread to raise (not running yet)
    const std::string device = pinnedDevice();
    if (openGate_) {
        if (auto refused = openGate_(device)) {
            return refused;
        }
    }
    connection = std::make_unique<PulseConnection>();
    auto error = connection->openStream(
        "music", "Quelmo output",
        [this, &device, latency](pa_stream* newStream) {
            pa_stream_set_write_callback(newStream, &PulseOutputDriver::onWrite, this);
            pa_stream_set_underflow_callback(newStream, &PulseOutputDriver::onUnderflow, this);
            const pa_buffer_attr attributes = bufferAttributes(latency);
            auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE);
            if (!device.empty()) {
                flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_DONT_MOVE);
            }
            return pa_stream_connect_playback(newStream, device.empty() ? nullptr : device.c_str(), &attributes,
                                              flags, nullptr, nullptr);
        },
        stream, timeoutSeconds);
    if (error) {
        connection.reset();
        return error;
    }
    pa_threaded_mainloop_lock(connection->loop());
    watch(*connection, stream);
    pa_threaded_mainloop_unlock(connection->loop());
    return std::nullopt;
}

std::string PulseOutputDriver::pinnedDevice() const {
    std::lock_guard lock(connectionLock_);
    return pinnedDevice_;
}

void PulseOutputDriver::setPinnedDevice(std::string device) {
    std::lock_guard lock(connectionLock_);
    pinnedDevice_ = std::move(device);
}

void PulseOutputDriver::watch(PulseConnection& connection, pa_stream* stream) {
    pa_context_set_state_callback(connection.context(), &PulseOutputDriver::onContextState, this);
    pa_stream_set_state_callback(stream, &PulseOutputDriver::onStreamState, this);
    // The server may have gone between the stream opening and these callbacks.
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(connection.context())) ||
        !PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
        noticeLoss();
    }
}

std::optional<std::string> PulseOutputDriver::start(RenderFunction render) {
    stop();
    corked_.store(false, std::memory_order_relaxed);
    // Kept until stop(): every stream this start opens, now or after a loss, renders through it.
    render_ = std::move(render);
    streamRenders_.store(true, std::memory_order_release);
    ladder_.reset(seconds(Clock::now()));
    latency_.store(ladder_.value(), std::memory_order_relaxed);
    std::unique_ptr<PulseConnection> connection;
    pa_stream* stream = nullptr;
    auto error = openConnection(connection, stream, latencySeconds(), 5.0);
    if (!error) {
        std::lock_guard lock(connectionLock_);
        connection_ = std::move(connection);
        stream_ = stream;
    } else {
        // No server yet (a login that starts the deck before the sound server, say): the timeline
        // runs on the stand-in clock and the output connects as soon as the server answers.
        reconnecting_.store(true, std::memory_order_release);
        lossNoticed_.store(true, std::memory_order_release);
        wakeSupervisor_.release();
    }
    supervisor_ = std::thread([this] { supervise(); });
    return error;
}

void PulseOutputDriver::stop() {
    if (supervisor_.joinable()) {
        stopping_.store(true, std::memory_order_release);
        wakeSupervisor_.release();
        supervisor_.join();
        stopping_.store(false, std::memory_order_relaxed);
    }
    closeConnection();
    // Nothing of the closed connection may start the next supervisor surviving.
    lossNoticed_.store(false, std::memory_order_relaxed);
    while (wakeSupervisor_.try_acquire()) {
    }
    if (reconnecting_.exchange(false, std::memory_order_acq_rel)) {
        notifyListener();
    }
    render_ = nullptr;
}

void PulseOutputDriver::setSuspended(bool suspended) {
    corked_.store(suspended, std::memory_order_release);
    wakeSupervisor_.release(); // a stand-in clock pauses or resumes with the engine
    std::lock_guard lock(connectionLock_);
    if (!connection_ || !stream_) {
        return;
    }
    pa_threaded_mainloop_lock(connection_->loop());
    if (suspended) {
        pa_operation_unref_safe(pa_stream_flush(stream_, nullptr, nullptr));
    } else if (latencySeconds() > ladder_.floor()) {
        // Gaps raised the latency while the stream played on; after a rest, the least that held.
        ladder_.reset(seconds(Clock::now()), ladder_.floor());
        changeLatency(stream_, ladder_.value());
    }
    pa_operation_unref_safe(pa_stream_cork(stream_, suspended ? 1 : 0, nullptr, nullptr));
    pa_threaded_mainloop_unlock(connection_->loop());
}

void PulseOutputDriver::onContextState(pa_context* context, void* self) {
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
        static_cast<PulseOutputDriver*>(self)->noticeLoss();
    }
}

void PulseOutputDriver::onStreamState(pa_stream* stream, void* self) {
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
        static_cast<PulseOutputDriver*>(self)->noticeLoss();
    }
}

void PulseOutputDriver::noticeLoss() {
    if (!lossNoticed_.exchange(true, std::memory_order_acq_rel)) {
        wakeSupervisor_.release();
    }
}

void PulseOutputDriver::notifyListener() {
    if (listener_) {
        listener_();
    }
}

void PulseOutputDriver::supervise() {
    // This thread renders while the server is away: the same real-time request as the stream's.
    sched_param parameters{};
    parameters.sched_priority = realtimePriority;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &parameters);
    for (;;) {
        // Woken for a loss or the stop; in between, a look every few seconds at a raised latency.
        if (!wakeSupervisor_.try_acquire_for(std::chrono::duration<double>(std::min(2.0, relaxAfter_ / 4.0)))) {
            relaxLatency();
            continue;
        }
        if (stopping_.load(std::memory_order_acquire)) {
            return;
        }
        if (lossNoticed_.load(std::memory_order_acquire) && !survive()) {
            return;
        }
    }
}

void PulseOutputDriver::renderDue(Clock::time_point base, std::int64_t& done) {
    const double elapsed = std::chrono::duration<double>(Clock::now() - base).count();
    const auto due = static_cast<std::int64_t>(elapsed * PulseConnection::streamFormat().rate);
    float* channels[2] = {clockLeft_.data(), clockRight_.data()};
    while (due - done >= clockBlockFrames) {
        render_(channels, clockBlockFrames);
        done += clockBlockFrames;
    }
}

bool PulseOutputDriver::survive() {
    // Closing stops the dead connection's thread: no write callback runs after this.
    closeConnection();
    streamRenders_.store(false, std::memory_order_release);
    reconnecting_.store(true, std::memory_order_release);
    notifyListener();

    double wait = firstRetrySeconds;
    auto base = Clock::now();
    std::int64_t done = 0;
    bool wasCorked = corked_.load(std::memory_order_acquire);
    auto nextAttempt = base + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(wait));
    for (;;) {
        if (stopping_.load(std::memory_order_acquire)) {
            return false;
        }
        const bool corked = corked_.load(std::memory_order_acquire);
        if (corked != wasCorked) {
            // A resting engine's timeline stands still, as it does on a corked stream.
            wasCorked = corked;
            base = Clock::now();
            done = 0;
        }
        if (!corked) {
            renderDue(base, done);
        }
        if (Clock::now() >= nextAttempt) {
            std::unique_ptr<PulseConnection> connection;
            pa_stream* stream = nullptr;
            // A new stream, perhaps on a new server: nothing learned about the old one holds.
            ladder_.reset(seconds(Clock::now()));
            latency_.store(ladder_.value(), std::memory_order_relaxed);
            if (!openConnection(connection, stream, initialLatency_, retryTimeoutSeconds)) {
                // The new stream fills with silence until the timeline is caught up and handed over.
                std::lock_guard lock(connectionLock_);
                if (!corked_.load(std::memory_order_acquire)) {
                    renderDue(base, done);
                } else {
                    pa_threaded_mainloop_lock(connection->loop());
                    pa_operation_unref_safe(pa_stream_flush(stream, nullptr, nullptr));
                    pa_operation_unref_safe(pa_stream_cork(stream, 1, nullptr, nullptr));
                    pa_threaded_mainloop_unlock(connection->loop());
                }
                connection_ = std::move(connection);
                stream_ = stream;
                lossNoticed_.store(false, std::memory_order_release);
                streamRenders_.store(true, std::memory_order_release);
                // The server may have gone again while the new stream was being handed over.
                pa_threaded_mainloop_lock(connection_->loop());
                if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(connection_->context())) ||
                    !PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) {
                    noticeLoss();
                }
                pa_threaded_mainloop_unlock(connection_->loop());
                break;
            }
            wait = std::min(wait * 2.0, longestRetrySeconds);
            nextAttempt = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(wait));
        }
        auto wakeAt = nextAttempt;
        if (!corked_.load(std::memory_order_acquire)) {
            const auto nextBlock = base + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                                              static_cast<double>(done + clockBlockFrames) /
                                              PulseConnection::streamFormat().rate));
            wakeAt = std::min(wakeAt, nextBlock);
        }
        (void)wakeSupervisor_.try_acquire_until(wakeAt);
    }
    reconnecting_.store(false, std::memory_order_release);
    reconnections_.fetch_add(1, std::memory_order_acq_rel);
    notifyListener();
    return true;
}

std::string PulseOutputDriver::deviceName() const {
    std::lock_guard lock(connectionLock_);
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
    if (isReconnecting()) {
        return "the sound server is not connected";
    }
    const std::string device = deviceName();
    if (device.empty()) {
        return "the output is not playing on a named device";
    }
    if (device == pinnedDevice_) {
        return std::nullopt;
    }
    // Moving a stream to the sink it is on changes nothing on the server, and a default-sink change
    // moves even streams that asked for their sink by name; a stream opened on a named sink with
    // PA_STREAM_DONT_MOVE stays. So the stream is opened again that way: a gap of a few
    // milliseconds, once.
    setPinnedDevice(device);
    if (auto error = reopen()) {
        setPinnedDevice({});
        if (auto unpinned = reopen()) {
            // No stream at all now: the supervisor keeps the timeline and connects again.
            noticeLoss();
            return "cannot keep the output on " + device + ": " + *error + "; cannot reopen it: " + *unpinned;
        }
        return "cannot keep the output on " + device + ": " + *error;
    }
    return std::nullopt;
}

std::optional<std::string> PulseOutputDriver::followDefaultDevice() {
    if (pinnedDevice().empty()) {
        return std::nullopt;
    }
    setPinnedDevice({});
    if (!supervisor_.joinable() || isReconnecting()) {
        return std::nullopt; // not started, or connecting again: that connection follows the default
    }
    if (auto error = reopen()) {
        noticeLoss(); // the supervisor connects again, to the default
        return "cannot move the output to the default device: " + *error;
    }
    return std::nullopt;
}

std::optional<std::string> PulseOutputDriver::reopen() {
    // The old stream closes first: two streams must never render the engine at once.
    closeConnection();
    std::unique_ptr<PulseConnection> connection;
    pa_stream* stream = nullptr;
    if (auto error = openConnection(connection, stream, latencySeconds(), 5.0)) {
        return error;
    }
    std::lock_guard lock(connectionLock_);
    if (corked_.load(std::memory_order_acquire)) {
        pa_threaded_mainloop_lock(connection->loop());
        pa_operation_unref_safe(pa_stream_cork(stream, 1, nullptr, nullptr));
        pa_threaded_mainloop_unlock(connection->loop());
    }
    connection_ = std::move(connection);
    stream_ = stream;
    return std::nullopt;
}

void PulseOutputDriver::closeConnection() {
    std::lock_guard lock(connectionLock_);
    if (connection_) {
        connection_->close(stream_); // stops its thread: no write callback runs after this
        connection_.reset();
    }
}

void PulseOutputDriver::onWrite(pa_stream* stream, std::size_t bytes, void* self) {
    auto* driver = static_cast<PulseOutputDriver*>(self);
    driver->lastRequest_.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
    driver->write(stream, bytes);
}

void PulseOutputDriver::onUnderflow(pa_stream* stream, void* self) {
    // On the connection's thread, inside the main loop: the stream may be changed here.
    auto* driver = static_cast<PulseOutputDriver*>(self);
    if (const Clock::rep last = driver->lastRequest_.load(std::memory_order_relaxed); last != 0) {
        const auto gap = Clock::now().time_since_epoch() - Clock::duration(last);
        driver->requestGap_.store(std::chrono::duration<double>(gap).count(), std::memory_order_relaxed);
    }
    driver->underflows_.fetch_add(1, std::memory_order_relaxed);
    const double latency = driver->latencySeconds();
    if (const double raised = driver->ladder_.ranDry(seconds(Clock::now())); raised > latency) {
        driver->changeLatency(stream, raised);
    }
}

void PulseOutputDriver::relaxLatency() {
    if (latencySeconds() <= initialLatency_ || corked_.load(std::memory_order_acquire)) {
        return; // nothing to give back, or a resting stream: it wakes at the least latency anyway
    }
    std::lock_guard lock(connectionLock_);
    if (!connection_ || !stream_) {
        return;
    }
    pa_threaded_mainloop_lock(connection_->loop());
    if (ladder_.relax(seconds(Clock::now()))) {
        changeLatency(stream_, ladder_.value());
    }
    pa_threaded_mainloop_unlock(connection_->loop());
}

void PulseOutputDriver::changeLatency(pa_stream* stream, double latency) {
    latency_.store(latency, std::memory_order_relaxed);
    const pa_buffer_attr attributes = bufferAttributes(latency);
    pa_operation_unref_safe(pa_stream_set_buffer_attr(stream, &attributes, nullptr, nullptr));
}

void PulseOutputDriver::writeSilence(pa_stream* stream, std::size_t bytes) {
    // The timeline is still rendered by the supervisor: keep the new stream fed without it.
    constexpr std::size_t frameBytes = 2 * sizeof(float);
    while (bytes >= frameBytes) {
        void* data = nullptr;
        std::size_t granted = bytes;
        if (pa_stream_begin_write(stream, &data, &granted) < 0 || !data || granted == 0) {
            return;
        }
        granted -= granted % frameBytes;
        if (granted == 0) {
            pa_stream_cancel_write(stream);
            return;
        }
        std::memset(data, 0, granted);
        pa_stream_write(stream, data, granted, nullptr, 0, PA_SEEK_RELATIVE);
        bytes -= std::min(bytes, granted);
    }
}

void PulseOutputDriver::write(pa_stream* stream, std::size_t bytes) {
    if (!streamRenders_.load(std::memory_order_acquire)) {
        writeSilence(stream, bytes);
        return;
    }
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
