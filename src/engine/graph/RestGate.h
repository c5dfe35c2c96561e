#pragma once

#include "graph/StereoBus.h"

#include <cmath>
#include <cstdint>

namespace quelmo::engine {

// Tells a unit with memory (a filter, a delay line, a reverb) when it has rung out, from what it
// outputs: once its input has been silent and its own output has stayed under the audible floor for
// at least hold frames, the longest stretch its memory can stay quiet and still sound again, the
// unit clears its memory and reports silence without processing until its input sounds again.
// A unit whose wet signal is mixed out rests as soon as its silent output has lasted hold frames.
// Render thread.
class RestGate {
public:
    // -100 dBFS: below anything a listener hears.
    static constexpr float audibleFloor = 1.0e-5f;

    // At the start of a block. True while the unit rests and its input is still silent.
    bool resting(bool inputSilent) {
        if (!inputSilent) {
            resting_ = false;
            quietFrames_ = 0;
        }
        return resting_;
    }

    // After a processed block. True when the unit has just come to rest: it should clear its memory.
    bool settle(bool inputSilent, const StereoBus& out, std::uint32_t frames, std::uint64_t hold) {
        if (!inputSilent) {
            quietFrames_ = 0;
            return false;
        }
        // Quiet frames at the end of this block, added to the run when the whole block was quiet.
        std::uint32_t quiet = 0;
        while (quiet < frames && std::fabs(out.channel(0)[frames - 1 - quiet]) < audibleFloor &&
               std::fabs(out.channel(1)[frames - 1 - quiet]) < audibleFloor) {
            ++quiet;
        }
        quietFrames_ = quiet == frames ? quietFrames_ + quiet : quiet;
        resting_ = quietFrames_ >= hold;
        return resting_;
    }

private:
    bool resting_ = true; // a new unit holds no sound
    std::uint64_t quietFrames_ = 0;
};

} // namespace quelmo::engine
