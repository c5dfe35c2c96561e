#pragma once

#include "engine/AudioBuffer.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace quelmo {

// The deck's one-shot sounds, synthesised at graph set-up; no audio files are shipped.
//
// Every recipe returns a stereo buffer in the graph format with identical channels, or nullptr when
// the format or the buffer cannot be made. Oscillators and envelopes are computed in doubles; the
// envelope E and oscillator O are each rounded to float, and the sample is O * E * G in float,
// where G is the recipe's gain. Noise-like recipes use index-driven sines, so every call gives
// the same samples. Main thread, once per graph set-up; never on the render thread.
namespace QuelmoSampleBuffers {

inline constexpr double sampleRate = 44100.0;

using Buffer = std::shared_ptr<engine::AudioBuffer>;
// fill(i, t): frame index i and time t = i / sampleRate in seconds -> one sample.
using FillFunction = std::function<float(std::int64_t i, double t)>;

Buffer makeBuffer(std::uint32_t frames, const FillFunction& fill);

Buffer kick();     // 7938 frames: 98 Hz falling to 58 Hz
Buffer snare();    // 6174 frames: 220 Hz body and index-driven rattle
Buffer hiHat();    // 2646 frames: 8 and 12 kHz partials
Buffer clap();     // 4410 frames: index-driven noise burst
Buffer bassNote(); // 9702 frames: 82 Hz
Buffer riser();    // 19845 frames: 200 -> 3000 Hz sweep with fade-in and tail
Buffer chop();     // 2205 frames: 1400 Hz blip
Buffer airhorn();  // 15434 frames: two vibrato partials at 440 and 880 Hz
Buffer beatTick(); // 1323 frames: the metronome click at 1200 Hz

} // namespace QuelmoSampleBuffers
} // namespace quelmo
