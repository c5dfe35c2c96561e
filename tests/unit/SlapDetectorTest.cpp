#include "slap/LidTapController.h"
#include "slap/OutputLevelHistory.h"
#include "slap/QuelmoChassisSlapDetector.h"
#include "slap/SlapAnalysis.h"
#include "support/EventLoop.h"
#include "support/OfflineDeck.h"
#include "support/ScopedEnv.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace quelmo;
using slap::SlapAnalysis;

namespace {

constexpr double blockSeconds = 512.0 / 44100.0;

// Feeds one block per 512 frames of a level curve (rms as a function of seconds) and returns the
// times of the hits.
std::vector<double> hitsOf(const std::function<float(double)>& level, double seconds, float deckEcho = 0.0f) {
    SlapAnalysis analysis;
    std::vector<double> hits;
    const double start = 1000.0; // a monotonic clock well past its origin
    for (double t = 0.0; t < seconds; t += blockSeconds) {
        if (analysis.analyse(level(t), start + t, deckEcho)) {
            hits.push_back(t);
        }
    }
    return hits;
}

// A tap: one block at the given level at each of the times.
std::function<float(double)> taps(std::vector<double> at, float rms = 0.3f) {
    return [at, rms](double t) {
        for (double tap : at) {
            if (t >= tap && t < tap + blockSeconds) {
                return rms;
            }
        }
        return 0.0f;
    };
}

} // namespace

TEST(SlapAnalysis, TapsFireOnceEachOutsideTheRefractoryTime) {
    EXPECT_TRUE(hitsOf([](double) { return 0.0f; }, 3.0).empty());
    // The very first block fires: the last hit is long ago and the baseline is still 0.
    EXPECT_EQ(hitsOf([](double t) { return t < blockSeconds ? 0.05f : 0.0f; }, 1.0).size(), 1u);
    EXPECT_EQ(hitsOf(taps({0.5, 0.7}), 2.0).size(), 1u);
    EXPECT_EQ(hitsOf(taps({0.5, 0.85}), 2.0).size(), 2u);
    // Under the absolute floor nothing fires, whatever the background.
    EXPECT_TRUE(hitsOf([](double) { return 0.015f; }, 3.0).empty());
    EXPECT_TRUE(hitsOf(taps({0.5, 1.5}, 0.015f), 3.0).empty());
}

TEST(SlapAnalysis, ASteadySoundFiresUntilTheBackgroundCatchesUp) {
    // rms 0.1 from 0.5 s on: hits at its onset and every 0.3 s while the baseline is under 0.058.
    const auto hits = hitsOf([](double t) { return t >= 0.5 ? 0.1f : 0.0f; }, 5.0);
    ASSERT_EQ(hits.size(), 3u);
    EXPECT_NEAR(hits[1] - hits[0], 0.3, blockSeconds);
    EXPECT_NEAR(hits[2] - hits[1], 0.3, blockSeconds);
    EXPECT_LT(hits.back(), 1.2);
}

TEST(SlapAnalysis, TheDecksOwnSoundIsNoTap) {
    // The deck played a block of rms 0.3 moments ago: the same level at the microphone is its echo,
    // a tap louder than that by the spike threshold is still a tap.
    EXPECT_TRUE(hitsOf(taps({0.5}, 0.3f), 1.0, 0.3f).empty());
    EXPECT_EQ(hitsOf(taps({0.5}, 0.4f), 1.0, 0.3f).size(), 1u);

    slap::OutputLevelHistory history;
    history.record(10.0, 0.3f);
    EXPECT_EQ(history.loudestBetween(10.0 - SlapAnalysis::echoWindowSeconds, 10.0), 0.3f);
    EXPECT_EQ(history.loudestBetween(10.01, 11.0), 0.0f);
    EXPECT_EQ(history.loudestBetween(9.0, 9.99), 0.0f) << "a block still in the output's buffer is not heard yet";
    for (std::size_t i = 0; i < slap::OutputLevelHistory::capacity; ++i) { // the oldest make room for new ones
        history.record(11.0 + i * 0.01, 0.01f);
    }
    EXPECT_EQ(history.loudestBetween(0.0, 100.0), 0.01f);
}

TEST(ChassisSlapDetector, TheDecksKickInOneLongServerBlockIsRememberedAtItsAttack) {
    // A server running a large output buffer asks for 200 ms at a time. The kick's echo in the
    // microphone is as loud as its attack, far over that block's average: the deck must remember
    // the attack, or the echo is taken for a tap and the kick fires itself again.
    test::OfflineDeck deck;
    deck.model->triggerPad(0, false);
    auto& driver = static_cast<engine::OfflineDriver&>(deck.model->audioEngine().driver());
    const auto block = driver.renderFrames(8820, 8820);
    // The attack over both channels, as a meter reads it; the average over both too.
    double attack = 0.0, energy = 0.0;
    std::size_t samples = 0;
    for (std::uint32_t c = 0; c < block->channelCount(); ++c) {
        for (float v : block->channel(c)) {
            attack = std::max(attack, static_cast<double>(std::abs(v)));
            energy += static_cast<double>(v) * v;
        }
        samples += block->channel(c).size();
    }
    const double rms = std::sqrt(energy / static_cast<double>(samples));
    ASSERT_GT(attack, 2.0 * rms) << "the block's average lies under the kick's attack";
    const float remembered = deck.model->deckOutputLevels().loudestBetween(0.0, 1e12);
    EXPECT_NEAR(remembered, attack, 1e-6);
    // A microphone block as loud as that attack is the deck's echo; measured against the block's
    // average it would have been a tap.
    EXPECT_FALSE(SlapAnalysis{}.analyse(static_cast<float>(attack), 10.0, remembered));
    EXPECT_TRUE(SlapAnalysis{}.analyse(static_cast<float>(attack), 10.0, static_cast<float>(rms)));
}

TEST(ChassisSlapDetector, ReportsTapsOnTheMainThreadAndIgnoresTheDecksEcho) {
    double now = 500.0;
    auto history = std::make_shared<slap::OutputLevelHistory>();
    std::vector<QuelmoChassisSlapEvent> events;
    QuelmoChassisSlapDetector detector([&](const QuelmoChassisSlapEvent& e) { events.push_back(e); },
                                       {"", [&] { return now; }, history});
    std::vector<float> loud(512, 0.3f);
    // The deck just played a kick as loud as the block: its echo, not a tap.
    history->record(now - 0.05, 0.3f);
    detector.handleMicBuffer(loud.data(), loud.size());
    now += 1.0;
    detector.handleMicBuffer(loud.data(), loud.size());
    EXPECT_TRUE(events.empty()); // posted, not called in place
    test::spinFor(20);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, QuelmoChassisSlapEvent::Kind::fired);
    EXPECT_EQ(events[0].text, QStringLiteral(u"Mic · lid tap / slap"));

    EXPECT_EQ(QuelmoChassisSlapDetector::statusForOpenFailure("Access denied"),
              QStringLiteral(u"Microphone denied — Settings → Privacy → Microphone"));
    EXPECT_EQ(QuelmoChassisSlapDetector::statusForOpenFailure("No such entity"), "No mic input");
    EXPECT_EQ(QuelmoChassisSlapDetector::statusForOpenFailure("Connection refused"), "Mic engine: Connection refused");
}

TEST(LidTapController, TheSwitchReportsAFailedStartAndALateAnswerAfterOffIsIgnored) {
    test::ScopedEnv server("PULSE_SERVER", "unix:/nonexistent/quelmo-test-socket");
    int taps = 0;
    LidTapController lidTap({[&](const QString&) { ++taps; }, std::make_shared<slap::OutputLevelHistory>(), {}});

    lidTap.setChassisSlapEnabled(true);
    EXPECT_EQ(lidTap.chassisSlapStatus(), QStringLiteral(u"Starting…"));
    ASSERT_TRUE(test::spinUntil([&] { return lidTap.chassisSlapStatus().startsWith("Mic engine: "); }, 8000))
        << lidTap.chassisSlapStatus().toStdString();
    EXPECT_TRUE(lidTap.chassisSlapEnabled()); // stays on: off and on again retries

    lidTap.setChassisSlapEnabled(true);
    lidTap.setChassisSlapEnabled(false);
    EXPECT_EQ(lidTap.chassisSlapStatus(), "");
    test::spinFor(300);
    EXPECT_EQ(lidTap.chassisSlapStatus(), "");
    EXPECT_EQ(taps, 0);
}
