#pragma once

#include <algorithm>

namespace quelmo::engine {

// The latency a buffer holds when the machine cannot always keep it fed: a step up each time it
// runs dry, and a step back down after a quiet spell, so a moment of load does not cost latency for
// the rest of the session. It never steps below a floor that it learns. A step down followed by
// running dry within one quiet spell shows the machine needs the step, and the floor keeps it, so
// the buffer settles on the least that holds instead of running dry again after every spell. The
// floor is no life sentence: after forgetAfterSpells quiet spells in a row it too steps down, so a
// few unlucky coincidences of load cannot ratchet it up over a long session. A floor that proves
// right again (running dry within a spell of that step) waits twice as long before the next try.
//
// Values are in whatever unit the caller keeps (frames, seconds), times in seconds on any clock that
// only goes forward. No allocation, lock or system call: usable on the render thread. Not
// thread-safe: one thread at a time, or the caller's lock.
class LatencyLadder {
public:
    static constexpr double forgetAfterSpells = 10.0;

    LatencyLadder(double start, double step, double ceiling, double quietSeconds)
        : start_(start), step_(step), ceiling_(std::max(start, ceiling)), quietSeconds_(quietSeconds) {
        reset(0.0);
    }

    // The latency to hold now.
    double value() const { return value_; }
    // The least it will step back down to.
    double floor() const { return floor_; }

    // Back to the start with nothing learned (a new source or a new stream), or, given a floor
    // learned before, straight down to it (a stream that wakes from a rest).
    void reset(double now) { reset(now, start_); }
    void reset(double now, double floor) {
        value_ = floor_ = std::clamp(floor, start_, ceiling_);
        lastChange_ = now;
        steppedDown_ = false;
        floorTried_ = false;
        forgetSpells_ = forgetAfterSpells;
    }

    // It ran dry at now: one step up (to the ceiling at most). Returns the new value.
    double ranDry(double now) {
        if (steppedDown_ && now - lastChange_ < quietSeconds_) {
            floor_ = std::min(ceiling_, value_ + step_); // the step just given back was needed
            if (floorTried_) {
                forgetSpells_ *= 2.0;
            }
        }
        floorTried_ = false;
        value_ = std::min(ceiling_, value_ + step_);
        lastChange_ = now;
        steppedDown_ = false;
        return value_;
    }

    // Call at any pace: after a quiet spell since the last change, one step back toward the floor;
    // at the floor, after forgetAfterSpells of them, the floor steps down too. Returns whether the
    // value changed.
    bool relax(double now) {
        const double quiet = now - lastChange_;
        if (value_ <= floor_) {
            if (floor_ <= start_ || quiet < forgetSpells_ * quietSeconds_) {
                return false;
            }
            floor_ = std::max(start_, floor_ - step_);
            floorTried_ = true;
        } else if (quiet < quietSeconds_) {
            return false;
        } else {
            floorTried_ = false;
        }
        value_ = std::max(floor_, value_ - step_);
        lastChange_ = now;
        steppedDown_ = true;
        return true;
    }

private:
    double start_;
    double step_;
    double ceiling_;
    double quietSeconds_;
    double value_ = 0.0;
    double floor_ = 0.0;
    double lastChange_ = 0.0;
    bool steppedDown_ = false;
    bool floorTried_ = false; // the last step down was the floor's
    double forgetSpells_ = forgetAfterSpells;
};

} // namespace quelmo::engine
