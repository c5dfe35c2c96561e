#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace quelmo::engine;
using namespace quelmo::engine::test;

TEST(MixerNode, BalanceKeepsTheCentreAtUnityAndVolumeScales) {
    OfflineEngine rig;
    auto mixer = rig.add(std::make_shared<MixerNode>());
    auto player = std::make_shared<PlayerNode>();
    rig.engine->attach(player);
    ASSERT_TRUE(rig.engine->connect(player, mixer));

    struct Case {
        float volume, pan, left, right;
    };
    for (const Case c : {Case{1.0f, 0.0f, 0.5f, 0.5f}, Case{1.0f, -1.0f, 0.5f, 0.0f}, Case{1.0f, 1.0f, 0.0f, 0.5f},
                         Case{1.0f, 0.5f, 0.25f, 0.5f}, Case{0.5f, 0.0f, 0.25f, 0.25f}}) {
        mixer->setVolume(c.volume);
        mixer->setPan(c.pan);
        player->scheduleBuffer(constant(8192, 0.5f));
        player->play();
        const auto out = rig.render(4096);
        // After the glide settles.
        EXPECT_FLOAT_EQ(out->channel(0)[4000], c.left) << c.volume << " " << c.pan;
        EXPECT_FLOAT_EQ(out->channel(1)[4000], c.right) << c.volume << " " << c.pan;
        player->stop();
    }
}

TEST(AudioEngine, ConnectionsFollowTheGraphRules) {
    OfflineEngine rig;
    auto a = std::make_shared<MixerNode>();
    auto b = std::make_shared<MixerNode>();
    auto unit = std::make_shared<DelayUnit>();
    auto loose = std::make_shared<MixerNode>();
    rig.engine->attach(a);
    rig.engine->attach(b);
    rig.engine->attach(unit);
    EXPECT_TRUE(rig.engine->connect(a, b));
    EXPECT_FALSE(rig.engine->connect(a, rig.engine->mainMixer())) << "one output, one destination";
    EXPECT_FALSE(rig.engine->connect(b, a)) << "no loops";
    EXPECT_FALSE(rig.engine->connect(loose, b)) << "only attached nodes";
    EXPECT_TRUE(rig.engine->connect(b, unit));
    auto other = std::make_shared<MixerNode>();
    rig.engine->attach(other);
    EXPECT_FALSE(rig.engine->connect(other, unit)) << "a unit has one input";
    EXPECT_EQ(unit->inputNodes().size(), 1u);
}

TEST(AudioEngine, TapsSeeEveryBlockAndDetachedNodesFallSilent) {
    OfflineEngine rig;
    auto player = rig.add(std::make_shared<PlayerNode>());
    std::int64_t framesSeen = 0;
    std::int64_t nextTime = 0;
    bool contiguous = true;
    player->installTap([&](const float* const*, std::uint32_t frames, std::int64_t time) {
        contiguous = contiguous && time == nextTime;
        nextTime = time + frames;
        framesSeen += frames;
    });
    player->scheduleBuffer(constant(100000, 0.5f));
    player->play();
    rig.render(5000, 333);
    EXPECT_EQ(framesSeen, 5000);
    EXPECT_TRUE(contiguous);

    player->removeTap();
    rig.render(100);
    EXPECT_EQ(framesSeen, 5000);

    std::weak_ptr<PlayerNode> weak = player;
    rig.engine->detach(player);
    player.reset();
    const auto out = rig.render(256);
    EXPECT_EQ(out->channel(0)[100], 0.0f);
    rig.render(64);
    EXPECT_TRUE(weak.expired()) << "released once no block can reach it";
}

TEST(AudioEngine, SampleTimeCountsRenderedFramesAcrossSplitRequests) {
    OfflineEngine rig;
    rig.render(20000, 20000); // bigger than one pull: split inside the engine
    EXPECT_EQ(rig.engine->sampleTime(), 20000);
    EXPECT_EQ(rig.engine->stats().blocks, 1u);
    EXPECT_GT(rig.engine->takeLongestBlockSeconds(), 0.0);
    EXPECT_EQ(rig.engine->takeLongestBlockSeconds(), 0.0) << "each call starts over";
}

TEST(AudioEngine, ASilentEngineSuspendsItsDeviceAndNewWorkWakesIt) {
    auto owned = std::make_unique<SuspendableDriver>();
    SuspendableDriver* driver = owned.get();
    AudioEngine engine(std::move(owned));
    auto player = std::make_shared<PlayerNode>();
    engine.attach(player);
    engine.connect(player, engine.mainMixer());
    engine.start();
    player->scheduleBuffer(constant(1000, 0.5f));
    player->play();

    driver->offline.renderFrames(44100, 512); // one second: the hit, then silence
    engine.dispatchEvents();
    EXPECT_FALSE(driver->suspended) << "not yet two seconds of silence";
    driver->offline.renderFrames(44100 + 2048, 512);
    engine.dispatchEvents();
    EXPECT_TRUE(driver->suspended);
    EXPECT_TRUE(engine.isSuspended());

    // A running clock keeps the device awake through any silence.
    engine.setKeepAwake(true);
    EXPECT_FALSE(driver->suspended);
    driver->offline.renderFrames(3 * 44100, 512);
    engine.dispatchEvents();
    EXPECT_FALSE(driver->suspended);
    engine.setKeepAwake(false);
    engine.dispatchEvents();
    EXPECT_TRUE(driver->suspended);

    int wakes = 0;
    engine.setWakeHandler([&] { ++wakes; });
    player->scheduleBuffer(constant(10, 0.25f));
    EXPECT_FALSE(driver->suspended);
    EXPECT_EQ(wakes, 1);
    const auto out = driver->offline.renderFrames(64, 64);
    EXPECT_EQ(out->channel(0)[0], 0.25f);
}

// The render thread reads a node's input list while the main thread replaces it, again and again,
// and frees the old one once a block has completed since: under AddressSanitizer and
// ThreadSanitizer in CI, a list freed while a block can still read it is a reported fault. (The
// ordering of publishing against reading the block count is model-checked in
// tests/model/RetireProtocol.pml: the window it closes is too short for a test to hit.)
TEST(AudioEngine, ReplacedInputListsOutliveEveryBlockThatCanReadThem) {
    OfflineEngine rig;
    auto mixer = rig.add(std::make_shared<MixerNode>());
    std::vector<std::shared_ptr<PlayerNode>> players(6);
    for (auto& player : players) {
        player = std::make_shared<PlayerNode>();
        rig.engine->attach(player);
    }
    std::atomic<bool> running{true};
    std::thread renderer([&] {
        std::vector<float> left(32), right(32);
        float* channels[2] = {left.data(), right.data()};
        while (running.load(std::memory_order_relaxed)) {
            rig.driver->renderBlock(channels, 32);
        }
    });
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    for (std::size_t round = 0; std::chrono::steady_clock::now() < until; ++round) {
        auto& player = players[round % players.size()];
        if (player->outputNode() != nullptr) {
            rig.engine->disconnectOutput(*player);
        } else {
            rig.engine->connect(player, mixer);
        }
        rig.engine->dispatchEvents();
    }
    running = false;
    renderer.join();
    rig.engine->dispatchEvents();
    const auto connected = std::count_if(players.begin(), players.end(), [](const auto& p) { return p->outputNode(); });
    EXPECT_EQ(mixer->inputNodes().size(), static_cast<std::size_t>(connected));
}
