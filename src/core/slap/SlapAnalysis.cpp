#include "slap/SlapAnalysis.h"

#include <cmath>

namespace quelmo::slap {

float SlapAnalysis::rms(const float* samples, std::size_t n) {
    if (n == 0) {
        return 0.0f;
    }
    float sum = 0.0f;
    for (std::size_t i = 0; i < n; ++i) {
        sum += samples[i] * samples[i];
    }
    return std::sqrt(sum / static_cast<float>(n));
}

bool SlapAnalysis::analyse(float blockRMS, double now, float deckEcho) {
    baselineRMS = baselineRMS * baselineKeep + blockRMS * baselineTake;
    const float spike = blockRMS - baselineRMS;
    const bool ready = minFireInterval <= now - lastFire;
    const bool aboveDeck = blockRMS > deckEcho + spikeThreshold;
    if (spike > spikeThreshold && blockRMS > absoluteFloor && ready && aboveDeck) {
        lastFire = now;
        return true;
    }
    return false;
}

} // namespace quelmo::slap
