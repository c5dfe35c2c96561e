#pragma once

#include "devices/PulseInputSource.h"
#include "graph/AudioNode.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>

namespace quelmo::engine {

// The engine's input: what a sound-server source captures, in the graph format. Silent until
// capture starts; a block whose frames have not arrived yet is filled with silence.
class InputNode : public AudioNode {
public:
    InputNode();
    ~InputNode() override;

    // Main thread. sourceName empty means the default input. Returns the reason on failure.
    std::optional<std::string> startCapture(const std::string& sourceName = {});
    void stopCapture();
    bool isCapturing() const { return source_ != nullptr; }

protected:
    void render(const RenderContext& context, std::uint32_t frames, StereoBus& out) override;

private:
    std::shared_ptr<PulseInputSource> source_;
    std::atomic<SampleRing*> ring_{nullptr};
};

} // namespace quelmo::engine
