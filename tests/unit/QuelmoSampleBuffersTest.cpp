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

constexpr double kTwoPi = 2.0 * 3.14159265358979323846;
constexpr double kRate = 44100.0;

// Each one-shot's length, and the pitch a listener hears in its body (0 for the noisy ones and
// for the sweeping ones: the kick and riser have tests of their own, the horn wavers).
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
        if (recipe.name != "riser") { // it swells first; its envelope has a test of its own
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

TEST(QuelmoSampleBuffers, RiserFadesInHoldsAndDecaysOnlyAfterItsTailStarts) {
    const auto riser = QSB::riser();
    // Fade-in: the first millisecond is almost silent, full level is reached by 1/6 s.
    EXPECT_LT(peakBetween(riser, 0.0, 0.001), 0.22f * 0.01f);
    EXPECT_GT(peakBetween(riser, 0.0, 1.0 / 12.0), 0.22f * 0.45f);
    EXPECT_LT(peakBetween(riser, 0.0, 1.0 / 12.0), 0.22f * 0.55f);
    // Between 1/6 s and 0.35 s the envelope is 1, so the sweep swings at the full gain.
    EXPECT_NEAR(peakBetween(riser, 0.2, 0.35), 0.22f, 0.22f * 0.01f);
    EXPECT_NEAR(peakBetween(riser, 0.34, 0.35) / peakBetween(riser, 0.30, 0.31), 1.0, 0.02);
    // After 0.35 s it falls as exp(-8 (t - 0.35)).
    EXPECT_NEAR(peakBetween(riser, 0.43, 0.44) / peakBetween(riser, 0.37, 0.38), std::exp(-8.0 * 0.06), 0.03);
}

TEST(QuelmoSampleBuffers, KickFallsFromNinetyEightTowardFiftyEightHertz) {
    const auto kick = QSB::kick();
    const auto samples = kick->channel(0);
    // Time between the first two upward zero crossings gives the opening period.
    std::vector<std::size_t> crossings;
    for (std::size_t i = 1; i < samples.size() && crossings.size() < 2; ++i) {
        if (samples[i - 1] <= 0.0f && samples[i] > 0.0f) {
            crossings.push_back(i);
        }
    }
    ASSERT_EQ(crossings.size(), 2u);
    const double firstCycleHz = kRate / static_cast<double>(crossings[1] - crossings[0]);
    EXPECT_GT(firstCycleHz, 58.0);
    EXPECT_LT(firstCycleHz, 98.0);
}

TEST(QuelmoSampleBuffers, MakeBufferPassesIndexAndTimeToTheFill) {
    std::vector<std::pair<std::int64_t, double>> calls;
    const auto buffer = QSB::makeBuffer(3, [&](std::int64_t i, double t) {
        calls.emplace_back(i, t);
        return static_cast<float>(i) * 0.25f;
    });
    ASSERT_NE(buffer, nullptr);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[2].first, 2);
    EXPECT_EQ(calls[2].second, 2.0 / 44100.0);
    EXPECT_EQ(buffer->channel(1)[2], 0.5f);
    EXPECT_EQ(QSB::makeBuffer(0, [](std::int64_t, double) { return 1.0f; })->frameLength(), 0u);
}
