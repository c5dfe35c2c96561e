#pragma once

#include "engine/AudioNodes.h"

#include <memory>

namespace quelmo::engine {

// Hosts the graph. Owns the main mixer, which every sound of the deck ends in. Main thread only.
class AudioEngine {
public:
    AudioEngine();
    ~AudioEngine();
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    const std::shared_ptr<MixerNode>& mainMixer() const { return mainMixer_; }

    bool isRunning() const { return running_; }
    // Stops rendering; safe to call when not running.
    void stop();

private:
    std::shared_ptr<MixerNode> mainMixer_;
    bool running_ = false;
};

} // namespace quelmo::engine
