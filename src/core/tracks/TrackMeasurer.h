#pragma once

#include "tracks/BeatGrid.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace quelmo {

namespace engine {
class AudioBuffer;
}

// What listening to a whole track found: its beat grid and how sure that is, and its loudness.
struct TrackMeasures {
    std::optional<BeatGrid> grid;   // absent when no steady beat was found
    double tempoConfidence = 0.0;   // 0..1, see TempoDetector::finish
    std::optional<double> loudness; // integrated (EBU R128), LUFS; absent for silence
    double truePeak = 0.0;          // highest true peak of any channel, linear (1 = full scale)

    // The grid when it is sure enough to show and play to.
    std::optional<BeatGrid> shownGrid() const {
        return tempoConfidence >= shownTempoConfidence ? grid : std::nullopt;
    }
};

// AUTO GAIN: the gain (dB) that brings a track's integrated loudness to autoGainTarget, at most
// autoGainMaxBoost up and never so far up that its true peak passes autoGainPeakCeiling (dBTP);
// 0 for a track without loudness (silence). Loud tracks are turned down as far as it takes.
inline constexpr double autoGainTarget = -14.0;
inline constexpr double autoGainMaxBoost = 12.0;
inline constexpr double autoGainPeakCeiling = -1.0;
double autoGainDb(const TrackMeasures& measures);

// Measures tempo and beats (TempoDetector on a mono mix), integrated loudness (libebur128) and
// true peak (TruePeakMeter per channel) from a track's samples fed in order, in chunks of any size.
// The two measures run on threads of their own, each a few chunks behind the caller (who goes on
// decoding meanwhile), so that a track's analysis takes about the time of its decode and its
// costliest measure rather than of all three in turn.
// One thread at a time; allocates, so never on the render thread.
class TrackMeasurer {
public:
    // expectedFrames: the length the file states, if any, for the detectors to make room for.
    TrackMeasurer(double sampleRate, std::uint32_t channelCount, std::int64_t expectedFrames = 0);
    ~TrackMeasurer();
    TrackMeasurer(const TrackMeasurer&) = delete;
    TrackMeasurer& operator=(const TrackMeasurer&) = delete;

    // The buffer's frames (0 to its frame length), after everything fed before.
    void add(const engine::AudioBuffer& buffer);
    TrackMeasures finish();

private:
    struct Detectors;
    std::unique_ptr<Detectors> detectors_;
};

} // namespace quelmo
