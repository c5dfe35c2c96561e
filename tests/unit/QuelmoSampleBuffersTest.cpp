#include "engine/Tone.h"
#include "samples/QuelmoSampleBuffers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace QSB = quelmo::QuelmoSampleBuffers;

namespace {

constexpr double kRate = 44100.0;

float peakBetween(const QSB::Buffer& buffer, double fromSeconds, double toSeconds) {
    const auto samples = buffer->channel(0);
    const auto from = static_cast<std::size_t>(fromSeconds * kRate);
    const auto to = std::min(samples.size(), static_cast<std::size_t>(toSeconds * kRate));
    float peak = 0.0f;
    for (std::size_t i = from; i < to; ++i) {
        peak = std::max(peak, std::abs(samples[i]));
    }
    return peak;
}

} // namespace

// Each one-shot with the pitch a listener hears in its body (0 for the noisy ones, the sweeping
// kick and riser, and the wavering horn).
TEST(QuelmoSampleBuffers, EveryOneShotIsTheSameOnBothChannelsAndEveryTimeSoundsAtItsPitchAndDiesAway) {
    const std::vector<std::tuple<std::string, std::function<QSB::Buffer()>, double>> recipes = {
        {"kick", QSB::kick, 0},      {"snare", QSB::snare, 0},         {"hiHat", QSB::hiHat, 8000},
        {"clap", QSB::clap, 0},      {"bassNote", QSB::bassNote, 82},  {"riser", QSB::riser, 0},
        {"chop", QSB::chop, 1400},   {"airhorn", QSB::airhorn, 0},     {"beatTick", QSB::beatTick, 1200}};
    for (const auto& [name, make, pitchHz] : recipes) {
        SCOPED_TRACE(name);
        const auto buffer = make();
        ASSERT_NE(buffer, nullptr);
        ASSERT_EQ(buffer->channelCount(), 2u);
        EXPECT_EQ(buffer->format().sampleRate, kRate);
        const auto left = buffer->channel(0);
        const auto right = buffer->channel(1);
        ASSERT_EQ(left.size(), buffer->frameLength());
        EXPECT_EQ(std::memcmp(left.data(), right.data(), left.size_bytes()), 0);
        EXPECT_EQ(left[0], 0.0f) << "no click at the start";
        EXPECT_LE(peakBetween(buffer, 0.0, 1.0), 1.0f);
        EXPECT_EQ(std::memcmp(left.data(), make()->channel(0).data(), left.size_bytes()), 0)
            << "the same every time";
        if (pitchHz > 0) {
            // Its pitch stands well above two semitones either side, over its first sixteen cycles.
            const auto window = std::min<std::size_t>(static_cast<std::size_t>(16 * kRate / pitchHz), left.size());
            const double at = quelmo::test::amplitudeAt(left.first(window), kRate, pitchHz);
            EXPECT_GT(at, 3.0 * quelmo::test::amplitudeAt(left.first(window), kRate, pitchHz * 0.89));
            EXPECT_GT(at, 3.0 * quelmo::test::amplitudeAt(left.first(window), kRate, pitchHz * 1.12));
        }
        if (name != "riser") { // it swells first
            const double length = static_cast<double>(buffer->frameLength()) / kRate;
            EXPECT_LT(peakBetween(buffer, length * 0.9, length), 0.5f * peakBetween(buffer, 0.0, length * 0.2));
        }
    }
}
