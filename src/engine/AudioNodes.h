#pragma once

#include <cstdint>

namespace quelmo::engine {

// Node handles of the graph. Each node is created on the main thread and shared through
// std::shared_ptr between its owner and the engine it is attached to.
//
// These are the node kinds the deck wires together; their parameters, queues and render code are
// added as each kind gains its processing.
class AudioNode {
public:
    virtual ~AudioNode() = default;
    AudioNode() = default;
    AudioNode(const AudioNode&) = delete;
    AudioNode& operator=(const AudioNode&) = delete;
};

class PlayerNode : public AudioNode {};
class MixerNode : public AudioNode {};
class InputNode : public AudioNode {};
class TimePitchUnit : public AudioNode {};
class DelayUnit : public AudioNode {};
class ReverbUnit : public AudioNode {};
class DistortionUnit : public AudioNode {};

class EQUnit : public AudioNode {
public:
    explicit EQUnit(std::uint32_t bandCount) : bandCount_(bandCount) {}
    std::uint32_t bandCount() const { return bandCount_; }

private:
    std::uint32_t bandCount_;
};

} // namespace quelmo::engine
