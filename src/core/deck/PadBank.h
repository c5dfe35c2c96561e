#pragma once

#include <memory>
#include <vector>

namespace quelmo {

namespace engine {
class AudioBuffer;
class PlayerNode;
} // namespace engine

// The eight drum pads' players and sounds, and the metronome's click. The deck fills it when it
// builds the graph; hits by hand, MIDI, the lid tap and the sequencer all play through it.
// Main thread.
struct PadBank {
    static constexpr int padCount = 8;
    std::vector<std::shared_ptr<engine::PlayerNode>> players; // empty until the graph is built
    std::vector<std::shared_ptr<const engine::AudioBuffer>> buffers;
    std::shared_ptr<const engine::AudioBuffer> tick;
};

} // namespace quelmo
