#include "engine/Tone.h"
#include "samples/QuelmoSampleBuffers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace QSB = quelmo::QuelmoSampleBuffers;

namespace {

constexpr double kRate = 44100.0;

// Each one-shot's length, and the pitch a listener hears in its body (0 for the noisy ones, the
// sweeping kick and riser, and the wavering horn).
struct Recipe {
    std::string name;
    std::function<QSB::Buffer()> make;
    std::uint32_t frames;
    double pitchHz;
};

std::vector<Recipe> recipes() {
    return {{"kick", QSB::kick, 7938, 0},          {"snare", QSB::snare, 6174, 0},
            {"hiHat", QSB::hiHat, 2646, 8000},     {"clap", QSB::clap, 4410, 0},
            {"bassNote", QSB::bassNote, 9702, 82}, {"riser", QSB::riser, 19845, 0},
            {"chop", QSB::chop, 2205, 1400},       {"airhorn", QSB::airhorn, 15434, 0},   
            {"beatTick", QSB::beatTick, 1323, 1200}};
}


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

TEST(QuelmoSampleBuffers, EveryRecipeHasItsLengthFormatAndIdenticalChannels) {
    for (const auto& recipe : recipes()) {
        SCOPED_TRACE(recipe.name);
        const auto buffer = recipe.make();
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(buffer->frameLength(), recipe.frames);
        EXPECT_EQ(buffer->frameCapacity(), recipe.frames);
        EXPECT_EQ(buffer->channelCount(), 2u);
        EXPECT_EQ(buffer->format().sampleRate, 44100.0);
        const auto left = buffer->channel(0);
        const auto right = buffer->channel(1);
        ASSERT_EQ(left.size(), recipe.frames);
        EXPECT_EQ(std::memcmp(left.data(), right.data(), left.size_bytes()), 0);
        EXPECT_EQ(left[0], 0.0f);
        EXPECT_LE(peakBetween(buffer, 0.0, 1.0), 1.0f);
    }
}

TEST(QuelmoSampleBuffers, EachToneSoundsAtItsPitchAndEverySoundDiesAway) {
    for (const auto& recipe : recipes()) {
        SCOPED_TRACE(recipe.name);
        const auto buffer = recipe.make();
        ASSERT_NE(buffer, nullptr);
        const auto samples = buffer->channel(0);
        if (recipe.pitchHz > 0) {
            // Its pitch stands well above two semitones either side, over its first sixteen cycles.
            const auto window = std::min<std::size_t>(static_cast<std::size_t>(16 * kRate / recipe.pitchHz), samples.size());
            const double at = quelmo::test::amplitudeAt(samples.first(window), kRate, recipe.pitchHz);
            EXPECT_GT(at, 3.0 * quelmo::test::amplitudeAt(samples.first(window), kRate, recipe.pitchHz * 0.89));
            EXPECT_GT(at, 3.0 * quelmo::test::amplitudeAt(samples.first(window), kRate, recipe.pitchHz * 1.12));
        }
        if (recipe.name != "riser") { // it swells first
            const double length = recipe.frames / kRate;
            EXPECT_LT(peakBetween(buffer, length * 0.9, length), 0.5f * peakBetween(buffer, 0.0, length * 0.2));
        }
    }
}

TEST(QuelmoSampleBuffers, RecomputingGivesIdenticalSamples) {
    for (const auto& recipe : recipes()) {
        SCOPED_TRACE(recipe.name);
        const auto a = recipe.make();
        const auto b = recipe.make();
        EXPECT_EQ(std::memcmp(a->channel(0).data(), b->channel(0).data(), a->channel(0).size_bytes()), 0);
    }
}
