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

// The sample a recipe should produce at frame i, written out from the sound's definition:
// envelope and oscillator each rounded to float, the product with the gain taken in float.
struct Recipe {
    std::string name;
    std::function<QSB::Buffer()> make;
    std::uint32_t frames;
    std::function<float(double i, double t)> expected;
};

float voice(double osc, double env, float gain) {
    return static_cast<float>(osc) * static_cast<float>(env) * gain;
}

std::vector<Recipe> recipes() {
    return {
        {"kick", QSB::kick, 7938,
         [](double, double t) {
             return voice(std::sin(kTwoPi * (58 + 40 * std::exp(-30 * t)) * t), std::exp(-14 * t), 0.95f);
         }},
        {"snare", QSB::snare, 6174,
         [](double i, double t) {
             const float tone = static_cast<float>(0.35 * std::sin(kTwoPi * 220 * t));
             const float rattle = static_cast<float>(std::sin(17.3 * i) * std::cos(3.1 * i + 400 * t));
             return (tone + rattle * 0.65f) * static_cast<float>(std::exp(-18 * t)) * 0.7f;
         }},
        {"hiHat", QSB::hiHat, 2646,
         [](double, double t) {
             return voice(std::sin(kTwoPi * 8000 * t) + 0.5 * std::sin(kTwoPi * 12000 * t), std::exp(-70 * t),
                          0.12f);
         }},
        {"clap", QSB::clap, 4410,
         [](double i, double t) { return voice(std::sin(11.7 * i + 900 * t), std::exp(-35 * t), 0.45f); }},
        {"bassNote", QSB::bassNote, 9702,
         [](double, double t) { return voice(std::sin(kTwoPi * 82 * t), std::exp(-6 * t), 0.5f); }},
        {"riser", QSB::riser, 19845,
         [](double, double t) {
             const double env = std::min(1.0, 6 * t) * std::exp(-8 * std::max(0.0, t - 0.35));
             return voice(std::sin(kTwoPi * (200 + 2800 * t / 0.45) * t), env, 0.22f);
         }},
        {"chop", QSB::chop, 2205,
         [](double, double t) { return voice(std::sin(kTwoPi * 1400 * t), std::exp(-90 * t), 0.4f); }},
        {"airhorn", QSB::airhorn, 15434,
         [](double, double t) {
             const double f1 = 440 + 30 * std::sin(30 * t);
             const double f2 = 880 + 20 * std::sin(40 * t);
             return voice(0.55 * std::sin(kTwoPi * f1 * t) + 0.45 * std::sin(kTwoPi * f2 * t), std::exp(-4 * t),
                          0.18f);
         }},
        {"beatTick", QSB::beatTick, 1323,
         [](double, double t) { return voice(std::sin(kTwoPi * 1200 * t), std::exp(-120 * t), 0.35f); }},
    };
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

TEST(QuelmoSampleBuffers, SamplesFollowTheirFormulasExactly) {
    for (const auto& recipe : recipes()) {
        SCOPED_TRACE(recipe.name);
        const auto buffer = recipe.make();
        ASSERT_NE(buffer, nullptr);
        const auto samples = buffer->channel(0);
        for (std::uint32_t i : {1u, 2u, 17u, 441u, recipe.frames / 3, recipe.frames / 2, recipe.frames - 1}) {
            const double t = static_cast<double>(i) / kRate;
            EXPECT_EQ(samples[i], recipe.expected(static_cast<double>(i), t)) << "frame " << i;
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
