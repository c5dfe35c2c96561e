#pragma once

#include <cmath>
#include <cstdint>
#include <optional>

#include <QString>

namespace quelmo {

// A track's beats as a straight grid: the first beat at or after the file's start, and the length of
// a beat. The first beat is taken as the first downbeat: bars count from it.
struct BeatGrid {
    double firstBeat = 0.0;  // seconds into the file
    double beatLength = 0.5; // seconds

    static constexpr double minBpm = 60.0;
    static constexpr double maxBpm = 200.0;

    double bpm() const { return 60.0 / beatLength; }
    // The same beats at half or twice the tempo (a detector's answer is often an octave off). The
    // first beat stays where it is.
    BeatGrid halved() const { return {firstBeat, beatLength * 2.0}; }
    BeatGrid doubled() const { return {firstBeat, beatLength / 2.0}; }
    friend bool operator==(const BeatGrid&, const BeatGrid&) = default;
};

// A grid found in a track, and how sure the finding is (0..1).
struct FittedGrid {
    BeatGrid grid;
    double confidence = 0.0;
};

// A synced track loops whole bars from its first beat (whole beats when it holds less than a bar),
// in frames of its file. Beats count from the first; every pass of the loop ends on its last beat.
struct SyncedLoop {
    std::int64_t firstFrame = 0;
    double beatFrames = 0.0;
    std::int64_t beats = 0;

    std::int64_t frameOfBeat(std::int64_t beat) const {
        return firstFrame + static_cast<std::int64_t>(std::llround(static_cast<double>(beat) * beatFrames));
    }
    // The beat a place in the file falls in, in the loop (the bar it falls in, with bars).
    std::int64_t barBeatAt(double seconds, double fileRate) const;
};
// None when the file holds no whole beat after the first.
std::optional<SyncedLoop> syncedLoop(const BeatGrid& grid, double fileRate, std::int64_t fileFrames);

// A fitted grid is shown from this confidence on; below it the tempo reads as unknown.
inline constexpr double shownTempoConfidence = 0.5;

// "128.0 BPM", or "—" without a grid.
QString tempoText(const std::optional<BeatGrid>& grid);

} // namespace quelmo
