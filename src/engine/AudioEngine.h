#pragma once

#include "devices/AudioDriver.h"
#include "engine/AudioFormat.h"
#include "graph/AudioNode.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quelmo::engine {

class MixerNode;
class InputNode;
class SetRecorder;

// Hosts the graph: attach nodes, connect outputs to inputs, start and stop the output device.
// The main mixer's output goes to the device. One graph format everywhere: 44100 Hz stereo float,
// deinterleaved.
//
// Threads: every method is for the main thread unless it says otherwise. The driver's thread pulls
// the main mixer, which pulls its inputs, and so on up the graph. Structure changes are published
// to the render thread atomically; whatever the render thread may still be reading when it is
// replaced (an input list, a tap, a detached node) is kept alive until a block has completed since,
// then released here on the main thread.
class AudioEngine {
public:
    static constexpr double sampleRate = 44100.0;

    // The engine renders into driver; without one it uses the PulseAudio output.
    explicit AudioEngine(std::unique_ptr<AudioDriver> driver = nullptr);
    ~AudioEngine();
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    const AudioFormat& outputFormat() const { return format_; }
    const std::shared_ptr<MixerNode>& mainMixer() const { return mainMixer_; }
    // Capture from a sound-server source; silent until its capture is started.
    const std::shared_ptr<InputNode>& inputNode() const { return inputNode_; }
    AudioDriver& driver() { return *driver_; }

    void attach(std::shared_ptr<AudioNode> node);
    // Disconnects the node everywhere and releases it once the render thread is done with it.
    void detach(const std::shared_ptr<AudioNode>& node);
    bool isAttached(const AudioNode* node) const;

    // Connects source's output to the next free input of destination. False (and no change) when
    // either is not attached here, source already feeds a node, destination has no free input, or
    // the connection would close a loop.
    bool connect(const std::shared_ptr<AudioNode>& source, const std::shared_ptr<AudioNode>& destination);
    void disconnectOutput(AudioNode& source);

    // Starts the device. Returns nothing on success, else the reason it failed.
    std::optional<std::string> start();
    void stop();
    bool isRunning() const { return running_; }

    // The engine suspends a device that can pause once its output has been silent (or under the
    // audible floor) for suspendAfterSeconds with nothing queued on any player and no capture
    // running, and resumes it when a player is given work. Suspended, neither the render thread nor the sound server wakes.
    static constexpr double suspendAfterSeconds = 2.0;
    bool isSuspended() const { return suspended_; }
    // Main thread. Called by players before they take a command; resumes a suspended device.
    void wake();
    // Main thread. Runs after every resume (the deck restarts its timers there).
    void setWakeHandler(std::function<void()> handler) { wakeHandler_ = std::move(handler); }
    // Main thread. While set, the device is never suspended, so the sample timeline keeps pace with
    // the wall clock: for clocks that book sounds ahead on it.
    void setKeepAwake(bool keepAwake);
    bool keepsAwake() const { return keepAwake_; }

    // Main thread. Hands every block the main output plays (what the device gets, after the master)
    // to recorder->capture() on the render thread; nullptr stops handing them. The previous recorder
    // is kept alive until the render thread is done with it. While a recorder is set the device is
    // never suspended, so the recording keeps pace with the wall clock through silent stretches.
    void setOutputRecorder(std::shared_ptr<SetRecorder> recorder);
    const std::shared_ptr<SetRecorder>& outputRecorder() const { return outputRecorder_; }

    // Any thread. True while the device has lost its sound server and connects again; the timeline
    // (sampleTime) keeps running at the audio rate meanwhile, so booked sounds keep their times.
    bool isReconnecting() const { return driver_->isReconnecting(); }
    // Main thread, before start. Told on a device thread whenever isReconnecting() changes or the
    // device comes back; it must not block (the deck posts to its own thread, then calls
    // dispatchEvents, which reopens the capture).
    void setConnectionListener(std::function<void()> listener) { driver_->setConnectionListener(std::move(listener)); }
    // Main thread. Why the capture could not be opened again after the device came back (it has
    // stopped then); empty when it was, or there was none.
    const std::string& captureReopenError() const { return captureReopenError_; }

    // Delivers what the render thread reported (finished and dropped player items) and frees what it
    // no longer uses. The application calls this from a main-thread timer; tests call it directly.
    void dispatchEvents();

    // Frames rendered since the engine was made: the timeline that scheduled sample times use.
    // Any thread.
    std::int64_t sampleTime() const { return sampleTime_.load(std::memory_order_acquire); }
    // The earliest sample time that an item scheduled now is sure to start on exactly: past the
    // device request being rendered, or the next one if none is (requests keep their size in
    // steady playback), plus a little slack for the scheduling call itself. Main thread.
    std::int64_t schedulingHorizon() const;
    static constexpr std::int64_t schedulingSlackFrames = 64;

    // Keeps object alive until the render thread can no longer reach it, then drops it and runs
    // release (if any) on the main thread.
    void retire(std::shared_ptr<const void> object, std::function<void()> release = {});

    // Render thread. Renders frames into two channels; what the driver calls.
    void render(float* const* channels, std::uint32_t frames);

    // Render cost figures, readable from any thread.
    struct Stats {
        std::uint64_t blocks = 0;
        double lastBlockSeconds = 0.0;
        double maxBlockSeconds = 0.0;
    };
    Stats stats() const;
    void resetStats();
    // Any thread. The longest block since the last call (seconds); the next call starts over.
    double takeLongestBlockSeconds() { return statPeak_.exchange(0.0, std::memory_order_relaxed); }

private:
    struct Retired {
        std::uint64_t epoch;
        std::shared_ptr<const void> object;
        std::function<void()> release;
    };
    bool wouldCycle(const AudioNode* source, const AudioNode* destination) const;
    void collectRetired(bool everything);

    AudioFormat format_;
    std::unique_ptr<AudioDriver> driver_;
    std::shared_ptr<MixerNode> mainMixer_;
    std::shared_ptr<InputNode> inputNode_;
    std::vector<std::shared_ptr<AudioNode>> attached_;
    std::vector<Retired> retired_;
    bool running_ = false;
    bool suspended_ = false;
    bool keepAwake_ = false;
    std::function<void()> wakeHandler_;
    std::uint64_t seenReconnections_ = 0;
    std::string captureReopenError_;
    std::shared_ptr<SetRecorder> outputRecorder_;
    std::atomic<SetRecorder*> renderRecorder_{nullptr};
    std::atomic<std::uint64_t> silentFrames_{0};

    std::atomic<std::int64_t> sampleTime_{0};
    std::atomic<std::uint32_t> requestFrames_{0}; // size of the latest device request
    std::atomic<std::uint64_t> renderEpoch_{0};
    std::atomic<std::uint64_t> statBlocks_{0};
    std::atomic<double> statLast_{0.0};
    std::atomic<double> statMax_{0.0};
    std::atomic<double> statPeak_{0.0}; // the longest since takeLongestBlockSeconds()
};

} // namespace quelmo::engine
