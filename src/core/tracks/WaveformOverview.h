#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace quelmo {

// The loudness overview of a file's first channel: one level per bucket of `step` consecutive frames,
// the bucket's RMS times 4 clipped to 1, all in 32-bit float, the squares summed in frame order.
// The step is max(1, frames / 200), so a file gives between 200 and 399 levels (one per frame below
// 200 frames).
//
// Takes the samples in chunks of any size and holds only the levels and the open buckets' sums, so
// memory does not grow with the file. As the step depends on the frame count, which some files only
// reveal at their end, the levels are worked out for a range of up to 16 consecutive steps at once
// (at about the cost of one: the sums go side by side); when the frame count turns out to need a
// step outside the range, the samples must be fed again to an overview of the right step.
//
// Plain value type; one thread at a time.
class WaveformOverview {
public:
    static constexpr std::int64_t bucketDivisor = 200;
    static constexpr float levelGain = 4.0f;
    static constexpr float levelCeiling = 1.0f;
    static constexpr std::int64_t maxSteps = 16;

    // Frames per bucket for a file of `frameCount` frames.
    static std::int64_t stepFor(std::int64_t frameCount);

    // For the steps from firstStep to lastStep, at most maxSteps of them (more are cut from the
    // bottom); steps below 1 count as 1.
    WaveformOverview(std::int64_t firstStep, std::int64_t lastStep);
    explicit WaveformOverview(std::int64_t step) : WaveformOverview(step, step) {}

    // The next samples of channel 0, in order.
    void add(std::span<const float> samples);

    // Samples added so far.
    std::int64_t frameCount() const { return frames_; }
    // True when the frames added so far make a whole file whose levels are at hand.
    bool fitsFrameCount() const;

    // The levels of everything added, the last bucket holding what remains after the full ones;
    // empty unless fitsFrameCount().
    std::vector<float> levels() const;

private:
    static constexpr std::int64_t never = INT64_MAX; // frames left in a bucket that never closes

    static float level(float sumOfSquares, std::int64_t frames);
    std::int64_t stepAt(std::size_t lane) const { return firstStep_ + static_cast<std::int64_t>(lane); }

    std::int64_t firstStep_;
    std::size_t lanes_;
    std::int64_t frames_ = 0;
    // Per step: the open bucket's sum of squares (added in order) and frames still to come in it.
    std::array<float, maxSteps> sums_{};
    std::array<std::int64_t, maxSteps> left_{};
    // Levels of the full buckets. A step with 400 full buckets has the frame count at twice what it
    // suits or more, and can never be the file's: it stops there.
    std::array<std::vector<float>, maxSteps> levels_;
};

} // namespace quelmo
