#pragma once

#include "graph/StereoBus.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace quelmo::engine {

class AudioEngine;

// Sees every block a node renders, on the render thread: channel pointers, frame count, and the
// pull's sample time. It must not block, allocate or call Qt.
using TapFunction = std::function<void(const float* const* channels, std::uint32_t frames, std::int64_t sampleTime)>;

// A node of the graph: renders stereo blocks in the graph format when its output is pulled.
//
// Threads: construction, attach, connect, taps and parameters on the main thread; pull() and
// render() on the render thread only. The inputs the render thread sees are an immutable list that
// the main thread replaces atomically; replaced lists are freed by the engine once no block can
// still be reading them.
class AudioNode {
public:
    // The largest pull a node serves; the engine splits bigger device requests.
    static constexpr std::uint32_t maxFramesPerPull = 8192;

    explicit AudioNode(std::size_t maxInputs);
    virtual ~AudioNode();
    AudioNode(const AudioNode&) = delete;
    AudioNode& operator=(const AudioNode&) = delete;

    // Main thread. The engine this node is attached to, or nullptr.
    AudioEngine* engine() const { return engine_; }
    std::size_t maxInputs() const { return maxInputs_; }
    // Main thread. Nodes feeding this one, in connection order.
    const std::vector<AudioNode*>& inputNodes() const { return inputs_; }
    // Main thread. The node this one's output feeds, or nullptr.
    AudioNode* outputNode() const { return outputNode_; }

    // Main thread. Installs (replacing any) or removes the tap on this node's output. The node must
    // be attached so the engine can retire the old tap safely.
    void installTap(TapFunction tap);
    void removeTap();
    bool hasTap() const { return currentTap_ != nullptr; }

    // Render thread. Renders frames (at most maxFramesPerPull) and returns the output.
    const StereoBus& pull(const RenderContext& context, std::uint32_t frames);

protected:
    // Render thread. Fill out with frames of output.
    virtual void render(const RenderContext& context, std::uint32_t frames, StereoBus& out) = 0;

    // Render thread. Number of inputs this block, and one input's output (silence if absent).
    std::size_t renderInputCount() const;
    const StereoBus& pullInput(std::size_t index, const RenderContext& context, std::uint32_t frames);

    // Main thread, called by the engine.
    virtual void didAttach() {}
    // Main thread, once the render thread can no longer reach this node after a detach.
    virtual void didDetach() {}

    static const StereoBus& silence();


private:
    friend class AudioEngine;
    struct InputList {
        std::vector<AudioNode*> nodes;
    };

    void publishInputs();

    std::size_t maxInputs_;
    StereoBus bus_;
    AudioEngine* engine_ = nullptr;
    AudioNode* outputNode_ = nullptr;
    std::vector<AudioNode*> inputs_;
    std::shared_ptr<const InputList> currentInputs_;
    std::atomic<const InputList*> renderInputs_{nullptr};
    std::shared_ptr<const TapFunction> currentTap_;
    std::atomic<const TapFunction*> renderTap_{nullptr};
};

} // namespace quelmo::engine
