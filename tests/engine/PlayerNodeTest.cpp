#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace quelmo::engine;
using namespace quelmo::engine::test;

namespace {

struct Log {
    std::vector<std::pair<int, PlaybackEnd>> ends;
    CompletionHandler handler(int id) {
        return [this, id](PlaybackEnd end) { ends.emplace_back(id, end); };
    }
};

std::vector<float> left(const std::shared_ptr<AudioBuffer>& buffer) {
    const auto span = buffer->channel(0);
    return {span.begin(), span.end()};
}

} // namespace

TEST(PlayerNode, ItemsOnOnePlayerPlayInSequenceNeverLayered) {
    OfflineEngine rig;
    auto player = rig.add(std::make_shared<PlayerNode>());
    Log log;
    player->scheduleBuffer(constant(100, 0.25f), std::nullopt, log.handler(1));
    player->scheduleBuffer(constant(100, 0.5f), std::nullopt, log.handler(2));
    player->play();
    std::vector<float> expected(300, 0.0f);
    std::fill_n(expected.begin(), 100, 0.25f);
    std::fill_n(expected.begin() + 100, 100, 0.5f);
    EXPECT_EQ(left(rig.render(300, 64)), expected);
    ASSERT_EQ(log.ends.size(), 2u);
    EXPECT_EQ(log.ends[0], std::make_pair(1, PlaybackEnd::playedToEnd));
    EXPECT_EQ(log.ends[1], std::make_pair(2, PlaybackEnd::playedToEnd));
    EXPECT_EQ(player->pendingItemCount(), 0u);
}

TEST(PlayerNode, TimedItemsStartOnTheirSampleOrRightAfterTheItemBefore) {
    OfflineEngine rig;
    auto player = rig.add(std::make_shared<PlayerNode>());
    player->play();
    player->scheduleBuffer(constant(10, 1.0f), std::int64_t{1000});
    // Due at 1005, while the first item still plays: it follows on at 1010.
    player->scheduleBuffer(constant(10, 0.5f), std::int64_t{1005});
    // Due long after: silence in between.
    player->scheduleBuffer(constant(10, 0.25f), std::int64_t{3000});
    const auto out = left(rig.render(4096, 256));
    EXPECT_EQ(out[999], 0.0f);
    EXPECT_EQ(out[1000], 1.0f);
    EXPECT_EQ(out[1009], 1.0f);
    EXPECT_EQ(out[1010], 0.5f);
    EXPECT_EQ(out[1019], 0.5f);
    EXPECT_EQ(out[1020], 0.0f);
    EXPECT_EQ(out[2999], 0.0f);
    EXPECT_EQ(out[3000], 0.25f);

    // A time already past when scheduled plays at once.
    const std::int64_t now = rig.engine->sampleTime();
    player->scheduleBuffer(constant(5, 0.75f), now - 100);
    EXPECT_EQ(left(rig.render(64))[0], 0.75f);
}

TEST(PlayerNode, AHitPlayedNowGoesAheadOfOneBookedForLaterAndABookedHitWaitsForASoundingOne) {
    OfflineEngine rig;
    auto player = rig.add(std::make_shared<PlayerNode>());
    player->play();
    player->scheduleBuffer(constant(10, 0.5f), std::int64_t{3000});
    player->scheduleBuffer(constant(10, 1.0f)); // due now, although scheduled second
    // Booked while a long item sounds: starts as soon as it ends, not over it.
    player->scheduleBuffer(constant(10, 0.25f), std::int64_t{5000});
    player->scheduleBuffer(constant(2000, 0.125f), std::int64_t{4500});
    const auto out = left(rig.render(7000, 256));
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(out[10], 0.0f);
    EXPECT_EQ(out[2999], 0.0f);
    EXPECT_EQ(out[3000], 0.5f);
    EXPECT_EQ(out[4500], 0.125f);
    EXPECT_EQ(out[6499], 0.125f);
    EXPECT_EQ(out[6500], 0.25f);
}

TEST(PlayerNode, CancellingAGroupDropsItsBookedItemsAndLetsTheSoundingOnePlayOut) {
    OfflineEngine rig;
    auto player = rig.add(std::make_shared<PlayerNode>());
    Log log;
    constexpr PlayerNode::Group clicks = 7;
    player->play();
    player->scheduleBuffer(constant(1000, 0.5f), std::int64_t{0}, log.handler(1), clicks);
    rig.render(256); // item 1 is sounding
    player->scheduleBuffer(constant(10, 0.25f), std::int64_t{2000}, log.handler(2), clicks);
    player->scheduleBuffer(constant(10, 0.75f), std::int64_t{3000}, log.handler(3), 9);
    player->cancelPending(clicks);
    player->scheduleBuffer(constant(10, 1.0f), std::int64_t{4000}, log.handler(4), clicks); // after the cancel
    const auto out = left(rig.render(4000, 256));
    const std::int64_t at = 256; // out[0] is sample 256
    EXPECT_EQ(out[999 - at], 0.5f) << "the sounding item played out";
    EXPECT_EQ(out[2000 - at], 0.0f);
    EXPECT_EQ(out[3000 - at], 0.75f);
    EXPECT_EQ(out[4000 - at], 1.0f);
    ASSERT_EQ(log.ends.size(), 4u);
    EXPECT_EQ(log.ends[0], std::make_pair(2, PlaybackEnd::dropped));
    EXPECT_EQ(log.ends[1], std::make_pair(1, PlaybackEnd::playedToEnd));
    EXPECT_EQ(log.ends[3], std::make_pair(4, PlaybackEnd::playedToEnd));
}

TEST(PlayerNode, CancellingOneBookingLeavesTheGroupsOtherBookingsAlone) {
    OfflineEngine rig;
    auto player = rig.add(std::make_shared<PlayerNode>());
    Log log;
    constexpr PlayerNode::Group steps = 2;
    player->play();
    player->scheduleBuffer(constant(10, 0.25f), std::int64_t{1000}, log.handler(1), steps);
    player->scheduleBuffer(constant(10, 0.5f), std::int64_t{2000}, log.handler(2), steps);
    player->cancelPending(steps, std::int64_t{2000});
    const auto out = left(rig.render(3000, 256));
    EXPECT_EQ(out[1000], 0.25f);
    EXPECT_EQ(out[2000], 0.0f);
    ASSERT_EQ(log.ends.size(), 2u);
    EXPECT_EQ(log.ends[0], std::make_pair(2, PlaybackEnd::dropped));
    EXPECT_EQ(log.ends[1], std::make_pair(1, PlaybackEnd::playedToEnd));
}

TEST(PlayerNode, BookingsFasterThanTheSoundIsLongStayBoundedAndTheLateOnesAreDropped) {
    // A 0.45 s sound booked every 0.08 s with one booking interval of grace, over a minute.
    OfflineEngine rig;
    auto player = rig.add(std::make_shared<PlayerNode>());
    player->play();
    const auto sound = constant(19845, 0.5f);
    constexpr std::int64_t every = 3528;
    int played = 0;
    int dropped = 0;
    std::size_t mostPending = 0;
    for (std::int64_t at = 0; at < 60 * 44100; at += every) {
        player->scheduleBuffer(sound, at, [&](PlaybackEnd end) { ++(end == PlaybackEnd::dropped ? dropped : played); },
                               0, at + every);
        rig.render(static_cast<std::uint32_t>(every), 512);
        mostPending = std::max(mostPending, player->pendingItemCount());
    }
    EXPECT_LE(mostPending, 8u);
    EXPECT_NEAR(played, 60.0 / 0.45, 3.0) << "back to back, never late";
    EXPECT_GT(dropped, 600);
}

TEST(PlayerNode, AnItemScheduledAtTheHorizonStartsOnItExactly) {
    OfflineEngine rig;
    auto player = rig.add(std::make_shared<PlayerNode>());
    player->play();
    rig.render(3 * 441, 441);
    const std::int64_t horizon = rig.engine->schedulingHorizon();
    EXPECT_EQ(horizon, rig.engine->sampleTime() + 441 + AudioEngine::schedulingSlackFrames);
    player->scheduleBuffer(constant(10, 1.0f), horizon);
    const auto out = left(rig.render(2048, 441));
    const auto offset = static_cast<std::size_t>(horizon - 3 * 441);
    EXPECT_EQ(out[offset - 1], 0.0f);
    EXPECT_EQ(out[offset], 1.0f);
}

TEST(PlayerNode, StopDropsTheQueueReportingEachItemOnce) {
    OfflineEngine rig;
    auto player = rig.add(std::make_shared<PlayerNode>());
    Log log;
    for (int id = 1; id <= 3; ++id) {
        player->scheduleBuffer(constant(1000, 0.5f), std::nullopt, log.handler(id));
    }
    player->play();
    rig.render(100);
    EXPECT_TRUE(log.ends.empty());
    player->stop();
    EXPECT_FALSE(player->isPlaying());
    EXPECT_EQ(left(rig.render(256)), std::vector<float>(256, 0.0f));
    rig.engine->dispatchEvents();
    ASSERT_EQ(log.ends.size(), 3u);
    for (int id = 1; id <= 3; ++id) {
        EXPECT_EQ(log.ends[static_cast<std::size_t>(id - 1)], std::make_pair(id, PlaybackEnd::dropped));
    }
    // Scheduling after a stop queues normally again.
    player->scheduleBuffer(constant(10, 0.5f), std::nullopt, log.handler(4));
    player->play();
    EXPECT_EQ(left(rig.render(64))[0], 0.5f);
    ASSERT_EQ(log.ends.size(), 4u);
    EXPECT_EQ(log.ends[3], std::make_pair(4, PlaybackEnd::playedToEnd));
}

TEST(PlayerNode, PauseHoldsThePosition) {
    OfflineEngine rig;
    auto player = rig.add(std::make_shared<PlayerNode>());
    player->scheduleBuffer(makeBuffer(1000, [](std::uint32_t i) { return static_cast<float>(i) / 1000.0f; }));
    player->play();
    const auto first = left(rig.render(100, 100));
    player->pause();
    const auto paused = left(rig.render(100, 100));
    player->play();
    const auto resumed = left(rig.render(100, 100));
    EXPECT_EQ(first[99], 0.099f);
    EXPECT_EQ(paused[50], 0.0f);
    EXPECT_EQ(resumed[0], 0.1f);
}

TEST(PlayerNode, ItemsWaitForPlayAndASegmentPlaysExactlyItsFrames) {
    OfflineEngine rig;
    auto player = rig.add(std::make_shared<PlayerNode>());
    auto ramp = makeBuffer(1000, [](std::uint32_t i) { return static_cast<float>(i + 1); });
    player->scheduleSource(std::make_unique<BufferSource>(ramp, 200, 300));
    EXPECT_EQ(left(rig.render(64))[0], 0.0f);
    player->play();
    const auto out = left(rig.render(512, 64));
    EXPECT_EQ(out[0], 201.0f);
    EXPECT_EQ(out[299], 500.0f);
    EXPECT_EQ(out[300], 0.0f);
    // Mono buffers play on both channels.
    player->scheduleBuffer(makeBuffer(10, [](std::uint32_t) { return 0.5f; }, 1));
    const auto mono = rig.render(64);
    EXPECT_EQ(mono->channel(0)[0], 0.5f);
    EXPECT_EQ(mono->channel(1)[0], 0.5f);
    // Buffers not at the graph's rate are refused.
    EXPECT_FALSE(player->scheduleBuffer(makeBuffer(10, [](std::uint32_t) { return 1.0f; }, 2, 48000.0)));
}

TEST(PlayerNode, ALoopReschedulingOnPlayedToEndIsSeamlessAndStopsOnStop) {
    OfflineEngine rig;
    auto player = rig.add(std::make_shared<PlayerNode>());
    auto bar = constant(300, 0.5f);
    int restarts = 0;
    std::function<void(PlaybackEnd)> loop = [&](PlaybackEnd end) {
        if (end == PlaybackEnd::playedToEnd) {
            ++restarts;
            player->scheduleBuffer(bar, std::nullopt, loop);
        }
    };
    // Two copies queued keep the loop ahead of the completion delivery.
    player->scheduleBuffer(bar, std::nullopt, loop);
    player->scheduleBuffer(bar, std::nullopt, loop);
    player->play();
    for (int block = 0; block < 20; ++block) {
        ASSERT_EQ(left(rig.render(128, 128)), std::vector<float>(128, 0.5f)) << "block " << block;
    }
    EXPECT_GE(restarts, 6);
    player->stop();
    rig.engine->dispatchEvents();
    const int restartsAtStop = restarts;
    rig.render(1024);
    EXPECT_EQ(restarts, restartsAtStop);
    EXPECT_EQ(player->pendingItemCount(), 0u);
}

TEST(PlayerNode, OutputDoesNotDependOnTheBlockSize) {
    auto scenario = [](std::uint32_t block) {
        OfflineEngine rig;
        auto player = rig.add(std::make_shared<PlayerNode>());
        auto other = rig.add(std::make_shared<PlayerNode>());
        player->setVolume(0.5f);
        auto tone = sine(440.0, 0.05);
        player->scheduleBuffer(tone, std::int64_t{333});
        player->scheduleBuffer(tone, std::int64_t{700});
        player->scheduleBuffer(tone, std::int64_t{5000});
        other->scheduleBuffer(sine(1200.0, 0.03), std::int64_t{1234});
        player->play();
        other->play();
        return left(rig.render(8192, block));
    };
    const auto reference = scenario(64);
    EXPECT_EQ(scenario(256), reference);
    EXPECT_EQ(scenario(1024), reference);
}

TEST(PlayerNode, AVolumeSetBetweenItemsAppliesFromTheFirstFrame) {
    OfflineEngine rig;
    auto player = rig.add(std::make_shared<PlayerNode>());
    player->play();
    rig.render(512); // the player has rendered silence at its default volume
    player->setVolume(0.25f);
    player->scheduleBuffer(constant(100, 1.0f));
    EXPECT_EQ(left(rig.render(64))[0], 0.25f) << "no glide from the old level into a new item";
}

TEST(PlayerNode, CommandsApplyWhileTheEngineIsStopped) {
    auto offline = std::make_unique<OfflineDriver>();
    AudioEngine engine(std::move(offline));
    auto player = std::make_shared<PlayerNode>();
    engine.attach(player);
    int dropped = 0;
    player->scheduleBuffer(constant(10, 1.0f), std::nullopt, [&](PlaybackEnd end) {
        dropped += end == PlaybackEnd::dropped ? 1 : 0;
    });
    player->play();
    player->stop();
    engine.dispatchEvents();
    EXPECT_EQ(dropped, 1);
}
