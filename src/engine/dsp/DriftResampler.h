#pragma once

#include "util/LatencyLadder.h"
#include "util/SampleRing.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace quelmo::engine {

// Reads a capture ring whose producer runs on another clock than the reader, and holds the audio
// queued between them near a target latency. The ring is read at a fractional position through a
// 32-tap windowed-sinc kernel (a table of 512 fractions, interpolated); the read ratio (input frames per output frame) is steered by a slow PI
// controller on the smoothed fill level and clamped to +-maxRatioDeviation, so the pitch change
// stays far below what an ear notices (0.5 % is under 9 cents).
//
// - Priming: output is silence until the queue reaches the target; then playback starts with the
//   queue trimmed to the target (the frames trimmed count as dropped).
// - Running dry: what is missing becomes silence (counted as inserted), and the reader primes again
//   before it plays on, so a stall costs one gap instead of a stutter. Each time, the target grows
//   by targetStepFrames up to maxTargetFrames: a source that hands over audio in larger chunks than
//   the target allows for (a sound server running a long period) gets the queue it needs, as the
//   output device does with its own latency. After relaxAfterSeconds without running dry it steps
//   back down, one step at a time, but not below a step it has shown it needs (LatencyLadder): a
//   machine whose capture comes a little late every half minute keeps one step more, instead of
//   a gap after every step down.
// - Far over (more than dropAboveTargets times the target, after a stall or a burst): the excess
//   above the target is dropped at once (counted as dropped).
//
// Threads: process() and reset() on the render thread (no allocation, lock or system call); the
// statistics from any thread. Construction on any thread before use.
class DriftResampler {
public:
    struct Settings {
        double targetFrames = 0.025 * 44100.0;
        double targetStepFrames = 0.005 * 44100.0;
        double maxTargetFrames = 0.100 * 44100.0;
        // After this long without running dry the target steps back down toward its start, so a
        // moment of load does not cost latency for the rest of the session.
        double relaxAfterSeconds = 30.0;
        double maxRatioDeviation = 0.005;
        double dropAboveTargets = 4.0;
        // The loop's natural frequency (rad/s), critically damped: settles in about 5 / this seconds.
        double loopRadiansPerSecond = 0.25;
        // Time constant of the fill level's smoothing, which hides the sawtooth of fragment arrivals.
        double fillSmoothingSeconds = 0.5;
        double sampleRate = 44100.0;
        // The largest block process() is asked for.
        std::uint32_t maxBlockFrames = 8192;
    };

    static constexpr std::size_t taps = 32;
    static constexpr std::size_t phases = 512;

    explicit DriftResampler(const Settings& settings);
    DriftResampler() : DriftResampler(Settings{}) {}

    // Render thread. Forgets the queue position and the learned clock difference (a new source).
    void reset();

    // Render thread. Writes frames (at most maxBlockFrames) of output read from ring. Returns how
    // many of them carry captured sound; the rest are silence.
    std::uint32_t process(SampleRing& ring, float* left, float* right, std::uint32_t frames);

    // Any thread.
    // The queue it holds now: the starting target, raised after each time it ran dry.
    double targetFrames() const { return target_.load(std::memory_order_relaxed); }
    // Frames queued between the producer and the output at the start of a block, smoothed as the
    // controller sees it (the raw figure swings by a fragment and a block); while it waits for the
    // queue to fill, the raw figure.
    double queuedFrames() const { return queued_.load(std::memory_order_relaxed); }
    // Input frames read per output frame, as of the last block.
    double ratio() const { return ratio_.load(std::memory_order_relaxed); }
    std::uint64_t droppedFrames() const { return dropped_.load(std::memory_order_relaxed); }
    // Silent frames played because the queue ran dry (not counting the first priming).
    std::uint64_t insertedFrames() const { return inserted_.load(std::memory_order_relaxed); }
    std::uint64_t underruns() const { return underruns_.load(std::memory_order_relaxed); }

private:
    double queued(const SampleRing& ring) const;
    void updateRatio(double queuedNow, std::uint32_t frames);
    void startPlaying(double queuedNow);

    Settings settings_;
    std::vector<float> left_;
    std::vector<float> right_;
    std::vector<float> kernel_; // (phases + 1) rows of taps
    std::size_t count_ = 0;  // frames in left_/right_
    double position_ = 0.0;  // read position in left_/right_, taps / 2 - 1 frames in
    bool playing_ = false;
    bool playedOnce_ = false;
    double smoothedFill_ = 0.0;
    double integral_ = 0.0; // in frame-seconds
    double currentRatio_ = 1.0;
    double kp_ = 0.0;
    double ki_ = 0.0;

    LatencyLadder ladder_;      // render thread, in frames
    double playedFrames_ = 0.0; // since reset: the ladder's clock (render thread)
    std::atomic<double> target_{0.0};
    std::atomic<double> queued_{0.0};
    std::atomic<double> ratio_{1.0};
    std::atomic<std::uint64_t> dropped_{0};
    std::atomic<std::uint64_t> inserted_{0};
    std::atomic<std::uint64_t> underruns_{0};
};

} // namespace quelmo::engine
