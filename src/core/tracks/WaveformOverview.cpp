#include "tracks/WaveformOverview.h"

#include <algorithm>
#include <cmath>

namespace quelmo {

std::int64_t WaveformOverview::stepFor(std::int64_t frameCount) {
    return std::max<std::int64_t>(1, frameCount / bucketDivisor);
}

WaveformOverview::WaveformOverview(std::int64_t firstStep, std::int64_t lastStep) {
    lastStep = std::max<std::int64_t>(1, lastStep);
    firstStep_ = std::clamp<std::int64_t>(firstStep, std::max<std::int64_t>(1, lastStep - maxSteps + 1), lastStep);
    lanes_ = static_cast<std::size_t>(lastStep - firstStep_ + 1);
    left_.fill(never);
    for (std::size_t lane = 0; lane < lanes_; ++lane) {
        left_[lane] = stepAt(lane);
    }
}

float WaveformOverview::level(float sumOfSquares, std::int64_t frames) {
    const float rms = std::sqrt(sumOfSquares / static_cast<float>(frames));
    return std::min(rms * levelGain, levelCeiling);
}

void WaveformOverview::add(std::span<const float> samples) {
    std::size_t i = 0;
    while (i < samples.size()) {
        // Up to the next bucket end of any step; within it every step adds every square.
        const std::int64_t nextEnd = *std::min_element(left_.begin(), left_.end());
        if (nextEnd == never) {
            break; // no step left open: only the frames are counted
        }
        const std::int64_t block = std::min(nextEnd, static_cast<std::int64_t>(samples.size() - i));
        std::array<float, maxSteps> sums = sums_;
        for (std::size_t k = i; k < i + static_cast<std::size_t>(block); ++k) {
            const float square = samples[k] * samples[k];
            for (std::size_t lane = 0; lane < maxSteps; ++lane) {
                sums[lane] += square; // each lane its own sum in frame order: vectorises
            }
        }
        sums_ = sums;
        i += static_cast<std::size_t>(block);
        for (std::size_t lane = 0; lane < lanes_; ++lane) {
            if (left_[lane] == never) {
                continue;
            }
            left_[lane] -= block;
            if (left_[lane] == 0) {
                levels_[lane].push_back(level(sums_[lane], stepAt(lane)));
                sums_[lane] = 0.0f;
                left_[lane] = levels_[lane].size() >= 2 * bucketDivisor ? never : stepAt(lane);
            }
        }
    }
    frames_ += static_cast<std::int64_t>(samples.size());
}

bool WaveformOverview::fitsFrameCount() const {
    const std::int64_t step = stepFor(frames_);
    // A step that suits the count has at most 399 full buckets, so it is still open.
    return step >= firstStep_ && step < firstStep_ + static_cast<std::int64_t>(lanes_) &&
           left_[static_cast<std::size_t>(step - firstStep_)] != never;
}

std::vector<float> WaveformOverview::levels() const {
    if (!fitsFrameCount()) {
        return {};
    }
    const auto lane = static_cast<std::size_t>(stepFor(frames_) - firstStep_);
    std::vector<float> out = levels_[lane];
    const std::int64_t inBucket = stepAt(lane) - left_[lane];
    if (inBucket > 0) {
        out.push_back(level(sums_[lane], inBucket));
    }
    return out;
}

} // namespace quelmo
