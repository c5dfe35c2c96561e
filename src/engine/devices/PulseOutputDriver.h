#pragma once

#include "devices/AudioDriver.h"
#include "devices/PulseConnection.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace quelmo::engine {

// Plays the engine on the sound server's default output: a 44.1 kHz stereo float stream whose
// write callback (on the connection's thread) pulls the engine. The target latency defaults to
// 10 ms; the server may grant a little more. Each time the server runs out of data (the machine
// could not keep the thread on time) the stream asks for 5 ms more, up to 40 ms: on a machine that
// cannot hold 10 ms, steady sound is worth more than the lowest latency. A stream that wakes from
// suspension starts again from the latency it was given.
class PulseOutputDriver final : public AudioDriver {
public:
    explicit PulseOutputDriver(double targetLatencySeconds = 0.010);
    ~PulseOutputDriver() override;

    static constexpr double latencyStep = 0.005;
    static constexpr double maxLatency = 0.040;

    // Main thread, before start.
    void setTargetLatency(double seconds) {
        initialLatency_ = seconds;
        latency_.store(seconds, std::memory_order_relaxed);
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

private:
    static void onWrite(pa_stream* stream, std::size_t bytes, void* self);
    static void onUnderflow(pa_stream* stream, void* self);
    void write(pa_stream* stream, std::size_t bytes);
    // With the main loop locked (or inside it): asks the server for a new target latency.
    void changeLatency(pa_stream* stream, double latency);
    // Main thread, while started: opens the stream again as start() would, keeping its suspension.
    std::optional<std::string> reopen();

    double initialLatency_;
    std::string pinnedDevice_; // main thread; empty: follow the default
    bool corked_ = false;      // main thread
    std::atomic<double> latency_;
    std::unique_ptr<PulseConnection> connection_;
    pa_stream* stream_ = nullptr;
    RenderFunction render_;
    std::vector<float> left_;
    std::vector<float> right_;
    std::atomic<std::uint64_t> underflows_{0};
    bool priorityAsked_ = false; // render thread
    static constexpr int realtimePriority = 4;
};

} // namespace quelmo::engine
