#pragma once

#include "devices/AudioDriver.h"
#include "devices/PulseConnection.h"
#include "util/LatencyLadder.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

namespace quelmo::engine {

// Plays the engine on the sound server's default output: a 44.1 kHz stereo float stream whose
// write callback (on the connection's thread) pulls the engine. The target latency defaults to
// 10 ms; the server may grant a little more. Each time the server runs out of data (the machine
// could not keep the thread on time) the stream asks for 5 ms more, up to 40 ms: on a machine that
// cannot hold 10 ms, steady sound is worth more than the lowest latency. After 30 s without running
// out it asks for a step less, down to the least it has shown it needs (LatencyLadder), so a moment
// of load does not keep the output late for the rest of a long session. A stream that wakes from
// suspension starts again from that least latency.
//
// When the sound server goes away (the connection or the stream fails), a thread of the driver's own
// takes over the timeline: it renders the engine in real time and discards the sound, so sounds
// booked on the timeline stay on it, and connects again after 0.25 s, doubling the wait up to 2 s.
// Connected again, it opens the stream as before (same device pin, the latency it started with,
// corked if the engine rests) and hands the timeline back to the stream's thread. A start that
// finds no server (a login that starts the deck before its sound server) reports why and goes on
// the same way: the stand-in clock keeps the timeline and the output connects once the server
// answers. A stream the server moves to another device plays on; the driver does nothing.
class PulseOutputDriver final : public AudioDriver {
public:
    explicit PulseOutputDriver(double targetLatencySeconds = startingLatency());
    ~PulseOutputDriver() override;

    static constexpr double defaultLatency = 0.010;
    static constexpr double latencyStep = 0.005;
    static constexpr double maxLatency = 0.040;
    // How long the output plays without running out before it asks for a step less.
    static constexpr double relaxAfterSeconds = 30.0;
    // A latency in whole milliseconds from 5 to 1000, as text; nothing for anything else.
    static std::optional<double> latencyFromText(const char* text);
    // What the output starts at: QUELMO_OUTPUT_LATENCY_MS when it holds a latency, else the
    // default. A machine that stalls for longer than the default buffer (a loaded virtual
    // machine) plays without gaps at a larger one, its sounds that much later.
    static double startingLatency();

    // Main thread, before start.
    void setTargetLatency(double seconds) {
        initialLatency_ = seconds;
        latency_.store(seconds, std::memory_order_relaxed);
        ladder_ = LatencyLadder(seconds, latencyStep, maxLatency, relaxAfter_);
    }
    // Tests: a shorter quiet spell. Main thread, before start.
    void setRelaxAfterSeconds(double seconds) {
        relaxAfter_ = seconds;
        setTargetLatency(initialLatency_);
    }
    // The latency asked for now. Any thread.
    double latencySeconds() const override { return latency_.load(std::memory_order_relaxed); }

    std::optional<std::string> start(RenderFunction render) override;
    void stop() override;
    bool canSuspend() const override { return true; }
    // Corks the stream (dropping the silence it holds) or uncorks it.
    void setSuspended(bool suspended) override;

    // Opens the stream again on the sink it plays on, by name and unmovable: the server then keeps
    // it there when the default sink changes. Later starts connect to that sink the same way. If
    // that sink goes away, the server ends the stream rather than move it (the output falls silent
    // instead of playing into the default, which may be the sink being recorded).
    std::optional<std::string> pinToCurrentDevice() override;
    std::optional<std::string> followDefaultDevice() override;
    std::string deviceName() const override;

    // Times the server ran out of data. Any thread.
    std::uint64_t underflows() const override { return underflows_.load(std::memory_order_relaxed); }
    double requestGapAtLastUnderflow() const override { return requestGap_.load(std::memory_order_relaxed); }

    bool isReconnecting() const override { return reconnecting_.load(std::memory_order_acquire); }
    std::uint64_t reconnections() const override { return reconnections_.load(std::memory_order_acquire); }
    void setConnectionListener(std::function<void()> listener) override { listener_ = std::move(listener); }

    // Tests: asked before every attempt to open the stream, with the device it is for (empty: the
    // default); a reason refuses the attempt as if the server had. Main thread, before start.
    using OpenGate = std::function<std::optional<std::string>(const std::string& device)>;
    void setOpenGate(OpenGate gate) { openGate_ = std::move(gate); }

    static constexpr double firstRetrySeconds = 0.25;
    static constexpr double longestRetrySeconds = 2.0;
    // How long one attempt to connect again may take before the next wait.
    static constexpr double retryTimeoutSeconds = 1.0;
    // The block the stand-in clock renders while the server is away: 10 ms.
    static constexpr std::uint32_t clockBlockFrames = 441;

private:
    using Clock = std::chrono::steady_clock;
    static void onWrite(pa_stream* stream, std::size_t bytes, void* self);
    static void onUnderflow(pa_stream* stream, void* self);
    static void onContextState(pa_context* context, void* self);
    static void onStreamState(pa_stream* stream, void* self);
    // Connects and opens the stream on the pinned device (or the default). Any thread but the
    // loop's; the caller installs the result under connectionLock_.
    std::optional<std::string> openConnection(std::unique_ptr<PulseConnection>& connection, pa_stream*& stream,
                                              double latency, double timeoutSeconds);
    // With the new connection's loop locked: watches it for the server going away.
    void watch(PulseConnection& connection, pa_stream* stream);
    // Loop thread: the connection or the stream failed. Wakes the supervisor; never blocks.
    void noticeLoss();
    // The supervisor thread: waits for a loss, then keeps the timeline and connects again.
    void supervise();
    // Supervisor thread: renders the blocks the wall clock says are due since base (frames already
    // rendered in done), unless the engine rests.
    void renderDue(Clock::time_point base, std::int64_t& done);
    // Supervisor thread. Returns true once the output plays again, false when the driver stops.
    bool survive();
    void notifyListener();
    void writeSilence(pa_stream* stream, std::size_t bytes);
    void write(pa_stream* stream, std::size_t bytes);
    // With the main loop locked (or inside it): asks the server for a new target latency.
    void changeLatency(pa_stream* stream, double latency);
    // Supervisor thread: a step less latency once the stream has played a quiet spell.
    void relaxLatency();
    static double seconds(Clock::time_point time) { return std::chrono::duration<double>(time.time_since_epoch()).count(); }
    // Main thread, while started: closes the stream and opens it again (on the pinned device, if
    // any), keeping its suspension and the render function. On failure there is no stream.
    std::optional<std::string> reopen();
    // Closes the connection, if any; no write callback runs after this. Any thread but the loop's.
    void closeConnection();

    double initialLatency_;
    // Set on the main thread, read by the supervisor when it connects again: under connectionLock_.
    std::string pinnedDevice() const;
    void setPinnedDevice(std::string device);
    std::string pinnedDevice_; // empty: follow the default
    std::atomic<bool> corked_{false};
    std::atomic<double> latency_;
    // The latency's steps. Used inside the current connection's loop (its callbacks, or with it
    // locked), or while no connection runs.
    LatencyLadder ladder_;
    double relaxAfter_ = relaxAfterSeconds;
    // connection_ and stream_ change on the main thread (start, stop) and on the supervisor's (a new
    // connection after a loss); both hold connectionLock_ to use them. The render thread never does.
    mutable std::mutex connectionLock_;
    std::unique_ptr<PulseConnection> connection_;
    pa_stream* stream_ = nullptr;
    RenderFunction render_;
    std::vector<float> left_;
    std::vector<float> right_;
    std::vector<float> clockLeft_;
    std::vector<float> clockRight_;
    // False while a new stream fills with silence and the supervisor still renders the timeline.
    std::atomic<bool> streamRenders_{true};
    std::thread supervisor_;
    std::binary_semaphore wakeSupervisor_{0};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> lossNoticed_{false};
    std::atomic<bool> reconnecting_{false};
    std::atomic<std::uint64_t> reconnections_{0};
    std::function<void()> listener_;
    OpenGate openGate_;
    std::atomic<std::uint64_t> underflows_{0};
    std::atomic<Clock::rep> lastRequest_{0}; // Clock at the last write request, in its ticks
    std::atomic<double> requestGap_{0.0};
    bool priorityAsked_ = false; // render thread
    static constexpr int realtimePriority = 4;
};

} // namespace quelmo::engine
