// The PulseAudio devices against a real sound server: run through tests/e2e/with_sound_server.sh,
// which provides a private server whose only sink is a null sink named "quelmo_test".

#include "EngineTestSupport.h"
#include "engine/devices/PulseOutputDriver.h"
#include "engine/devices/PulseSinkControl.h"
#include "support/ScopedEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>

using namespace quelmo::engine;
using namespace quelmo::engine::test;

namespace {

// An engine on the sound server's default output, looping a sine on a player.
struct TonePlayer {
    explicit TonePlayer(std::unique_ptr<AudioDriver> driver = nullptr) : engine(std::move(driver)) {}
    AudioEngine engine;
    std::shared_ptr<PlayerNode> player = std::make_shared<PlayerNode>();
    std::shared_ptr<AudioBuffer> tone;
    std::function<void(PlaybackEnd)> loop = [this](PlaybackEnd end) {
        if (end == PlaybackEnd::playedToEnd) {
            player->scheduleBuffer(tone, std::nullopt, loop);
        }
    };

    std::optional<std::string> start(double hz) {
        tone = sine(hz, 1.0, 0.5f);
        engine.attach(player);
        engine.connect(player, engine.mainMixer());
        player->scheduleBuffer(tone, std::nullopt, loop);
        player->scheduleBuffer(tone, std::nullopt, loop);
        player->play();
        return engine.start();
    }
};

// Pulls each engine (capturing on its input node) for seconds at the pace of the wall clock, as an
// output device would, and returns the last second each one heard (left channel).
std::vector<std::vector<float>> listen(const std::vector<OfflineEngine*>& listeners,
                                       const std::vector<TonePlayer*>& players, double seconds) {
    std::vector<std::vector<float>> heard(listeners.size());
    const auto start = std::chrono::steady_clock::now();
    std::int64_t rendered = 0;
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        for (auto* player : players) {
            player->engine.dispatchEvents();
        }
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const auto due = static_cast<std::int64_t>(std::min(elapsed, seconds) * 44100.0);
        const auto frames = static_cast<std::uint32_t>(due - rendered);
        rendered = due;
        for (std::size_t i = 0; i < listeners.size(); ++i) {
            const auto block = listeners[i]->render(frames, 441);
            heard[i].insert(heard[i].end(), block->channel(0).begin(), block->channel(0).end());
        }
        if (elapsed >= seconds) {
            break;
        }
    }
    for (auto& samples : heard) {
        samples.erase(samples.begin(), samples.end() - 44100);
    }
    return heard;
}

// The strongest magnitude of hz over the tenths of a second in samples: a machine that falls
// behind for a moment leaves a hole in some part of a recording, not in all of them.
double loudestAt(const std::vector<float>& samples, double hz) {
    double loudest = 0.0;
    for (std::size_t at = 0; at + 4410 <= samples.size(); at += 4410) {
        loudest = std::max(loudest, amplitudeAt(std::span(samples).subspan(at, 4410), 44100.0, hz));
    }
    return loudest;
}

const PulseSinkInfo* findSink(const std::vector<PulseSinkInfo>& sinks, const std::string& name) {
    const auto found = std::find_if(sinks.begin(), sinks.end(), [&](const auto& sink) { return sink.name == name; });
    return found == sinks.end() ? nullptr : &*found;
}

} // namespace

TEST(SoundServer, SinkControlCreatesFindsMakesDefaultAndRemovesNullSinks) {
    PulseSinkControl control;
    ASSERT_FALSE(control.open());
    std::string original;
    ASSERT_FALSE(control.defaultSinkName(original));
    EXPECT_EQ(original, "quelmo_test");

    std::uint32_t capture = PulseSinkInfo::noModule;
    std::uint32_t quoted = PulseSinkInfo::noModule;
    const std::string awkward = R"(It's "Quelmo" \ 'Capture')";
    ASSERT_FALSE(control.loadNullSink("quelmo_capture", "Quelmo Capture", capture));
    ASSERT_FALSE(control.loadNullSink("quelmo_quoted", awkward, quoted));
    std::vector<PulseSinkInfo> sinks;
    ASSERT_FALSE(control.sinks(sinks));
    const PulseSinkInfo* made = findSink(sinks, "quelmo_capture");
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->description, "Quelmo Capture");
    EXPECT_EQ(made->ownerModule, capture);
    EXPECT_EQ(made->monitorSourceName, "quelmo_capture.monitor");
    ASSERT_NE(findSink(sinks, "quelmo_quoted"), nullptr);
    EXPECT_EQ(findSink(sinks, "quelmo_quoted")->description, awkward);
    ASSERT_NE(findSink(sinks, "quelmo_test"), nullptr);
    EXPECT_NE(findSink(sinks, "quelmo_test")->ownerModule, capture);

    ASSERT_FALSE(control.setDefaultSink("quelmo_capture"));
    std::string now;
    ASSERT_FALSE(control.defaultSinkName(now));
    EXPECT_EQ(now, "quelmo_capture");
    ASSERT_FALSE(control.setDefaultSink(original));

    ASSERT_FALSE(control.unloadModule(capture));
    ASSERT_FALSE(control.unloadModule(quoted));
    ASSERT_FALSE(control.sinks(sinks));
    EXPECT_EQ(findSink(sinks, "quelmo_capture"), nullptr);
    EXPECT_EQ(findSink(sinks, "quelmo_quoted"), nullptr);

    // Failures come back as reasons, not as silence.
    const auto again = control.unloadModule(capture);
    ASSERT_TRUE(again.has_value());
    EXPECT_NE(again->find(std::to_string(capture)), std::string::npos) << *again;
    const auto unknown = control.setDefaultSink("no_such_sink");
    ASSERT_TRUE(unknown.has_value());
    EXPECT_NE(unknown->find("no_such_sink"), std::string::npos) << *unknown;
    control.close();
    EXPECT_TRUE(control.sinks(sinks).has_value());
}

// The deck pins its output, then the capture sink becomes the default: the deck keeps playing where
// it played, an unpinned stream follows the default into the capture sink, and the input node
// records the capture sink's monitor at the gain it is given.
TEST(SoundServer, APinnedOutputStaysWhileTheDefaultMovesIntoTheCapturedSink) {
    PulseSinkControl control;
    ASSERT_FALSE(control.open());
    std::uint32_t module = PulseSinkInfo::noModule;
    ASSERT_FALSE(control.loadNullSink("quelmo_capture", "Quelmo Capture", module));

    TonePlayer deck;
    TonePlayer browser;
    auto error = deck.start(1000.0);
    ASSERT_FALSE(error) << *error;
    error = browser.start(500.0);
    ASSERT_FALSE(error) << *error;
    EXPECT_EQ(deck.engine.driver().deviceName(), "quelmo_test");
    error = deck.engine.driver().pinToCurrentDevice();
    ASSERT_FALSE(error) << *error;
    ASSERT_FALSE(control.setDefaultSink("quelmo_capture"));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(deck.engine.driver().deviceName(), "quelmo_test");
    EXPECT_EQ(browser.engine.driver().deviceName(), "quelmo_capture");

    OfflineEngine systemAudio;
    OfflineEngine output;
    for (auto* listener : {&systemAudio, &output}) {
        listener->engine->connect(listener->engine->inputNode(), listener->engine->mainMixer());
    }
    systemAudio.engine->inputNode()->setVolume(0.5f);
    error = systemAudio.engine->inputNode()->startCapture("quelmo_capture.monitor");
    ASSERT_FALSE(error) << *error;
    error = output.engine->inputNode()->startCapture("quelmo_test.monitor");
    ASSERT_FALSE(error) << *error;

    const auto heard = listen({&systemAudio, &output}, {&deck, &browser}, 4.0);
    EXPECT_NEAR(loudestAt(heard[0], 500.0), 0.25, 0.03);
    EXPECT_LT(loudestAt(heard[0], 1000.0), 0.01);
    EXPECT_NEAR(loudestAt(heard[1], 1000.0), 0.5, 0.05);
    EXPECT_LT(loudestAt(heard[1], 500.0), 0.01);
    const auto stats = systemAudio.engine->inputNode()->captureStats();
    std::printf("capture queue %.1f ms (target %.1f ms), ratio %.5f, %llu frames dropped, %llu inserted in %llu gaps\n",
                stats.queuedFrames / 44.1, stats.targetFrames / 44.1, stats.ratio,
                static_cast<unsigned long long>(stats.droppedFrames), static_cast<unsigned long long>(stats.insertedFrames),
                static_cast<unsigned long long>(stats.underruns));
    // Near its target: the starting one, raised a step each time a loaded machine let it run dry.
    EXPECT_NEAR(stats.queuedFrames, stats.targetFrames, 0.015 * 44100.0);

    systemAudio.engine->inputNode()->stopCapture();
    output.engine->inputNode()->stopCapture();
    // Unpinned, the deck goes where the default is.
    error = deck.engine.driver().followDefaultDevice();
    ASSERT_FALSE(error) << *error;
    ASSERT_FALSE(control.setDefaultSink("quelmo_test"));
    ASSERT_FALSE(control.setDefaultSink("quelmo_capture"));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(deck.engine.driver().deviceName(), "quelmo_capture");
    deck.engine.stop();
    browser.engine.stop();
    EXPECT_FALSE(control.setDefaultSink("quelmo_test"));
    EXPECT_FALSE(control.unloadModule(module));
}

// Without a server, a start says why and the output keeps trying; the other devices fail with a
// reason, every time. (A start that hangs instead is caught by the test's time limit; how quickly
// it answers is not this test's business.)
TEST(SoundServer, NoServerMeansAQuickClearReasonAndTheOutputKeepsTrying) {
    quelmo::test::ScopedEnv server("PULSE_SERVER", "unix:/nonexistent/quelmo-test-socket");
    for (int attempt = 0; attempt < 2; ++attempt) {
        AudioEngine engine;
        const auto error = engine.start();
        ASSERT_TRUE(error.has_value());
        EXPECT_FALSE(error->empty());
        EXPECT_TRUE(engine.isRunning());
        EXPECT_TRUE(engine.isReconnecting());
        InputNode input;
        EXPECT_TRUE(input.startCapture().has_value());
        PulseSinkControl control(1.0);
        const auto refused = control.open();
        ASSERT_TRUE(refused.has_value());
        EXPECT_FALSE(refused->empty());
        std::vector<PulseSinkInfo> sinks;
        EXPECT_TRUE(control.sinks(sinks).has_value());
        engine.stop();
        EXPECT_FALSE(engine.isReconnecting());
    }
}

namespace {
// Pulls the engine's players along (as the deck's event timer does) until done() or 10 s.
bool waitFor(AudioEngine& engine, const std::function<bool()>& done) {
    for (int i = 0; i < 1000 && !done(); ++i) {
        engine.dispatchEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

// The loudest 1 kHz the test sink's monitor hears over two seconds of deck playing.
double toneOnTheTestSink(TonePlayer& deck) {
    OfflineEngine output;
    output.engine->connect(output.engine->inputNode(), output.engine->mainMixer());
    if (output.engine->inputNode()->startCapture("quelmo_test.monitor")) {
        return -1.0;
    }
    const auto heard = listen({&output}, {&deck}, 2.0);
    output.engine->inputNode()->stopCapture();
    return loudestAt(heard[0], 1000.0);
}

std::string restartScript() {
    const char* restart = std::getenv("QUELMO_TEST_SOUND_RESTART");
    return restart ? restart : "";
}
} // namespace

// A deck started before its sound server (a desktop's autostart racing the server at login) plays
// as soon as the server is there.
TEST(SoundServer, AnOutputStartedBeforeItsServerConnectsWhenTheServerAppears) {
    const std::string restart = restartScript();
    ASSERT_FALSE(restart.empty()) << "run through tests/e2e/with_sound_server.sh";
    ASSERT_EQ(std::system((restart + " kill").c_str()), 0);
    TonePlayer deck;
    std::atomic<int> told{0};
    deck.engine.setConnectionListener([&told] { told.fetch_add(1); });
    const auto error = deck.start(1000.0);
    ASSERT_TRUE(error.has_value());
    EXPECT_TRUE(deck.engine.isRunning());
    EXPECT_TRUE(deck.engine.isReconnecting());
    const std::int64_t before = deck.engine.sampleTime();
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_GT(deck.engine.sampleTime(), before) << "the timeline runs while the server is away";

    ASSERT_EQ(std::system(restart.c_str()), 0);
    ASSERT_TRUE(waitFor(deck.engine, [&] { return !deck.engine.isReconnecting(); }));
    EXPECT_EQ(deck.engine.driver().reconnections(), 1u);
    EXPECT_GE(told.load(), 2);
    EXPECT_NEAR(toneOnTheTestSink(deck), 0.5, 0.05);
    deck.engine.stop();
}

// Pinning opens the stream again on its device. When that fails and the reopen on the default
// fails too, the output has no stream: it keeps the timeline and connects again, with the render
// function it started with (an empty one would end the process inside the sound server's thread).
TEST(SoundServer, APinWhoseReopensFailKeepsTheOutputAndItsTimeline) {
    auto driver = std::make_unique<PulseOutputDriver>();
    PulseOutputDriver& output = *driver;
    std::atomic<int> refusals{0};
    std::atomic<bool> refuseAll{false};
    output.setOpenGate([&](const std::string& device) -> std::optional<std::string> {
        if (!device.empty() || refuseAll.load()) {
            refusals.fetch_add(1);
            return std::string("refused by the test");
        }
        return std::nullopt;
    });
    TonePlayer deck(std::move(driver));
    auto error = deck.start(1000.0);
    ASSERT_FALSE(error) << *error;

    // The pinned reopen fails; the one on the default plays on.
    error = output.pinToCurrentDevice();
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find("refused by the test"), std::string::npos) << *error;
    EXPECT_EQ(refusals.load(), 1);
    EXPECT_FALSE(output.isReconnecting());
    EXPECT_NEAR(toneOnTheTestSink(deck), 0.5, 0.05);

    // Both reopens fail: the supervisor takes over, and the output comes back once it may.
    refuseAll = true;
    error = output.pinToCurrentDevice();
    ASSERT_TRUE(error.has_value());
    ASSERT_TRUE(waitFor(deck.engine, [&] { return output.isReconnecting(); }));
    const std::int64_t before = deck.engine.sampleTime();
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_GT(deck.engine.sampleTime(), before) << "the timeline runs without a stream";
    refuseAll = false;
    ASSERT_TRUE(waitFor(deck.engine, [&] { return !output.isReconnecting(); }));
    EXPECT_NEAR(toneOnTheTestSink(deck), 0.5, 0.05);
    deck.engine.stop();
}

// The server is killed under a playing, pinned engine with a capture open, and started again on the
// same socket: the timeline keeps the audio rate meanwhile, and the output, on its device, and the
// capture play again. A sink control whose server went away opens again on the next call instead of
// failing until Quelmo restarts.
TEST(SoundServer, TheOutputKeepsItsTimelineAndComesBackWhenTheServerRestarts) {
    const std::string restart = restartScript();
    ASSERT_FALSE(restart.empty()) << "run through tests/e2e/with_sound_server.sh";
    PulseSinkControl control;
    ASSERT_FALSE(control.open());
    EXPECT_TRUE(control.isOpen());
    TonePlayer deck;
    std::atomic<int> told{0};
    deck.engine.setConnectionListener([&told] { told.fetch_add(1); });
    auto error = deck.start(1000.0);
    ASSERT_FALSE(error) << *error;
    error = deck.engine.driver().pinToCurrentDevice();
    ASSERT_FALSE(error) << *error;
    deck.engine.inputNode()->startCapture("quelmo_test.monitor");
    ASSERT_TRUE(deck.engine.inputNode()->isCapturing());

    ASSERT_EQ(std::system((restart + " kill").c_str()), 0);
    ASSERT_TRUE(waitFor(deck.engine, [&] { return deck.engine.isReconnecting(); }));
    EXPECT_GE(told.load(), 1);
    // Away from the server, the timeline runs at the audio rate (players keep being fed).
    const auto from = std::chrono::steady_clock::now();
    const std::int64_t before = deck.engine.sampleTime();
    waitFor(deck.engine, [&] { return std::chrono::steady_clock::now() - from > std::chrono::milliseconds(1500); });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
    const double rate = static_cast<double>(deck.engine.sampleTime() - before) / seconds;
    EXPECT_NEAR(rate, 44100.0, 44100.0 * 0.05);
    EXPECT_TRUE(deck.engine.isReconnecting());
    EXPECT_FALSE(control.isOpen()) << "a dead connection is no open control";

    ASSERT_EQ(std::system(restart.c_str()), 0);
    ASSERT_TRUE(waitFor(deck.engine, [&] { return !deck.engine.isReconnecting(); }));
    deck.engine.dispatchEvents();
    EXPECT_EQ(deck.engine.driver().reconnections(), 1u);
    EXPECT_EQ(deck.engine.driver().deviceName(), "quelmo_test");
    EXPECT_EQ(deck.engine.captureReopenError(), "");
    EXPECT_TRUE(deck.engine.inputNode()->isCapturing());
    EXPECT_GE(told.load(), 2);
    EXPECT_NEAR(toneOnTheTestSink(deck), 0.5, 0.05) << "on the restarted server's sink";
    ASSERT_FALSE(control.open());
    std::vector<PulseSinkInfo> sinks;
    ASSERT_FALSE(control.sinks(sinks));
    EXPECT_NE(findSink(sinks, "quelmo_test"), nullptr);
    deck.engine.inputNode()->stopCapture();
    deck.engine.stop();
    EXPECT_FALSE(deck.engine.isReconnecting());
}

// A stalled render runs the stream out: the output asks for a step more latency each time. Once it
// plays a quiet spell again it gives a step back, so a moment of load does not keep the whole
// session late.
TEST(SoundServer, StallsRaiseTheOutputLatencyAndAQuietSpellLowersItAgain) {
    PulseOutputDriver driver(0.020); // well clear of the gaps a busy test machine makes on its own
    driver.setRelaxAfterSeconds(1.0);
    std::atomic<bool> stall{false};
    const auto error = driver.start([&stall](float* const* channels, std::uint32_t frames) {
        std::fill(channels[0], channels[0] + frames, 0.0f);
        std::fill(channels[1], channels[1] + frames, 0.0f);
        if (stall.exchange(false)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        }
    });
    ASSERT_FALSE(error) << *error;
    auto within = [](double seconds, const std::function<bool()>& done) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (!done() && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return done();
    };
    for (int i = 1; i <= 2; ++i) {
        const std::uint64_t before = driver.underflows();
        stall = true;
        ASSERT_TRUE(within(5.0, [&] { return driver.underflows() > before; })) << "stall " << i;
    }
    const double raised = driver.latencySeconds();
    EXPECT_GE(raised, 0.030 - 1e-9);
    EXPECT_LE(raised, PulseOutputDriver::maxLatency + 1e-9);
    EXPECT_TRUE(within(10.0, [&] { return driver.latencySeconds() < raised - 1e-9; }))
        << "still " << driver.latencySeconds() * 1000 << " ms after ten quiet seconds";
    driver.stop();
}
