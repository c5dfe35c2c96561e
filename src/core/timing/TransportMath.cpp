#include "timing/TransportMath.h"

#include <algorithm>
#include <cmath>

namespace quelmo::transport {

double effectiveBpm(double bpm) { return std::max(minBpm, std::min(maxBpm, bpm)); }

double beatSeconds(double bpm) { return 60.0 / effectiveBpm(bpm); }

double stepSeconds(double bpm) { return beatSeconds(bpm) / stepsPerBeat; }

double barSeconds(double bpm) { return beatSeconds(bpm) * beatsPerBar; }

double playheadAt(double playheadAtAnchor, double secondsSinceAnchor, double bpm) {
    double p = std::fmod(playheadAtAnchor + secondsSinceAnchor / barSeconds(bpm), 1.0);
    if (p < 0.0) {
        p += 1.0;
    }
    return p;
}

double advanceTrackPosition(double position, double duration, double tickSeconds) {
    if (!(duration > 0.0)) {
        return position;
    }
    const double next = position + tickSeconds;
    return duration < next ? 0.0 : next;
}

std::int64_t BeatGrid::sampleOf(std::int64_t event) const {
    return anchorSample + std::llround(static_cast<double>(event) * intervalSeconds * sampleRate);
}

std::int64_t BeatGrid::nextEventAt(std::int64_t notBefore, std::int64_t every) const {
    const double frames = intervalSeconds * sampleRate;
    auto event = static_cast<std::int64_t>(std::ceil(static_cast<double>(notBefore - anchorSample) / frames));
    event = std::max<std::int64_t>(0, event);
    event = (event + every - 1) / every * every;
    while (sampleOf(event) < notBefore) { // rounding to the frame
        event += every;
    }
    return event;
}

} // namespace quelmo::transport
