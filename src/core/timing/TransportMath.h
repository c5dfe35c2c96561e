#pragma once

#include <cstdint>

namespace quelmo::transport {

// The tempo range every timing calculation keeps to, whatever the stored BPM says.
constexpr double minBpm = 60.0;
constexpr double maxBpm = 190.0;
constexpr int stepsPerBeat = 4;
constexpr int beatsPerBar = 4;

double effectiveBpm(double bpm);
// One beat, one sixteenth step and one 4/4 bar at the effective BPM, in seconds.
double beatSeconds(double bpm);
double stepSeconds(double bpm);
double barSeconds(double bpm);

// The playhead, a fraction of a bar in [0, 1): where it stood at the anchor plus the bars elapsed
// since, at the given tempo.
double playheadAt(double playheadAtAnchor, double secondsSinceAnchor, double bpm);

// The displayed position of an import after one transport tick: one tick further, back to 0 once
// past the end. Unchanged when the duration is unknown (0 or less).
double advanceTrackPosition(double position, double duration, double tickSeconds);

// A steady pulse: event k falls k intervals after the anchor. On the audio timeline in samples,
// rounded to the nearest frame from k itself, so rounding never accumulates; and on the media
// clock in seconds.
struct BeatGrid {
    std::int64_t anchorSample = 0;
    double anchorSeconds = 0.0;
    double intervalSeconds = 0.5;
    double sampleRate = 44100.0;

    std::int64_t sampleOf(std::int64_t event) const;
    double secondsOf(std::int64_t event) const { return anchorSeconds + static_cast<double>(event) * intervalSeconds; }
    // The first event that is a multiple of `every` (0 or later) on or after sample `notBefore`.
    std::int64_t nextEventAt(std::int64_t notBefore, std::int64_t every = 1) const;
    // The first event that begins a bar (a multiple of beatsPerBar) on or after sample `notBefore`.
    std::int64_t nextBarAt(std::int64_t notBefore) const { return nextEventAt(notBefore, beatsPerBar); }
};

} // namespace quelmo::transport
