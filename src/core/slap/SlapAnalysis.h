#pragma once

#include <cstddef>

namespace quelmo::slap {

// The lid-tap decision for one microphone block: a block is a tap when it stands clearly above a
// slowly adapting background, is loud in absolute terms, comes at least 0.3 s after the last tap,
// and is louder than anything the deck itself played in the last moments could explain. Plain
// state, no locking: the detector guards it.
struct SlapAnalysis {
    static constexpr double minFireInterval = 0.3;
    static constexpr float baselineKeep = 0.985f;
    static constexpr float baselineTake = 0.015f;
    static constexpr float spikeThreshold = 0.042f;
    static constexpr float absoluteFloor = 0.016f;
    // How far back the deck's own output may still be arriving at the microphone, counted from the
    // time it left the deck's output buffer: the room, capture latency and one analysis block, with
    // room for outputs that add up to about 0.35 s of their own (Bluetooth speakers). Short enough
    // that a kick fired by one tap has died away inside it by the time of a tap half a second later.
    static constexpr double echoWindowSeconds = 0.4;

    float baselineRMS = 0.0f;
    double lastFire = 0.0;

    // Root mean square of n samples, in single precision.
    static float rms(const float* samples, std::size_t n);

    // Updates the baseline with the block's rms and says whether it is a tap at time now (seconds).
    // deckEcho is the highest peak the deck played within the echo window: at the microphone no
    // block of the deck's own sound has a higher rms, so a tap has to stand above it by the spike
    // threshold.
    bool analyse(float blockRMS, double now, float deckEcho = 0.0f);
};

} // namespace quelmo::slap
