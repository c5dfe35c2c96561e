#pragma once

#include "devices/PulseInputSource.h"
#include "dsp/DriftResampler.h"
#include "dsp/SmoothedValue.h"
#include "graph/AudioNode.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>

namespace quelmo::engine {

// The engine's input: what a sound-server source captures, in the graph format. The capture runs on
// the source's clock and the output on its own, so the node reads the capture through a
// DriftResampler that holds the queued audio near targetLatencySeconds: the delay neither creeps up
// nor runs into gaps. Silent until capture starts and until the queue first reaches the target.
class InputNode : public AudioNode {
public:
    // The capture's fragment size (how often the server hands over audio) and the queue held
    // between capture and output at first: a little over one fragment and one output block, so a
    // sound reaches the output about 15 ms after it entered the captured sink. A capture that runs
    // dry under load raises the queue a step at a time, and lowers it again once it keeps up (see
    // DriftResampler).
    static constexpr double captureFragmentSeconds = 0.005;
    static constexpr double targetLatencySeconds = 0.008;

    InputNode();
    ~InputNode() override;

    // Main thread. sourceName empty means the default input. Returns the reason on failure.
    std::optional<std::string> startCapture(const std::string& sourceName = {});
    void stopCapture();
    bool isCapturing() const { return source_ != nullptr; }
    // Main thread. Opens the running capture again on the same source (after the sound server came
    // back: the old stream went with it). Nothing to do when not capturing. On failure the capture
    // stops and the reason is returned.
    std::optional<std::string> reopenCapture();

    // Any thread. Gain applied to the captured sound (1 = as captured), glided per sample.
    void setVolume(float volume) { volume_.store(volume, std::memory_order_relaxed); }
    float volume() const { return volume_.load(std::memory_order_relaxed); }

    struct CaptureStats {
        double queuedFrames = 0.0;    // captured audio waiting to be played
        double targetFrames = 0.0;    // what it holds the queue near: raised each time it ran dry
        double ratio = 1.0;           // capture frames read per output frame
        std::uint64_t droppedFrames = 0;  // skipped to catch up after a stall
        std::uint64_t insertedFrames = 0; // silence played because the capture ran dry
        std::uint64_t underruns = 0;      // times it ran dry
    };
    // Any thread. Counters since the node was made; the rest as of the last block.
    CaptureStats captureStats() const;

protected:
    void render(const RenderContext& context, std::uint32_t frames, StereoBus& out) override;

private:
    std::shared_ptr<PulseInputSource> source_;
    std::string sourceName_;
    std::atomic<SampleRing*> ring_{nullptr};
    std::atomic<std::uint64_t> capture_{0}; // counts starts, so a new capture is told from the last
    std::atomic<float> volume_{1.0f};
    // Render thread.
    std::uint64_t renderCapture_ = 0;
    DriftResampler resampler_;
    SmoothedValue gain_{1.0f};
};

} // namespace quelmo::engine
