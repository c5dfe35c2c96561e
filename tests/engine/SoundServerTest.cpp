// The PulseAudio devices against a real sound server: run through tests/e2e/with_sound_server.sh,
// which provides a private server whose only sink is a null sink named "quelmo_test".

#include "EngineTestSupport.h"
#include "engine/devices/PulseOutputDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

using namespace quelmo::engine;
using namespace quelmo::engine::test;

TEST(SoundServer, WhatThePlaybackStreamPlaysComesBackThroughTheSinkMonitor) {
    AudioEngine output; // the sound server's default output: the null sink
    auto player = std::make_shared<PlayerNode>();
    output.attach(player);
    output.connect(player, output.mainMixer());
    auto tone = sine(1000.0, 1.0, 0.5f);
    std::function<void(PlaybackEnd)> loop = [&](PlaybackEnd end) {
        if (end == PlaybackEnd::playedToEnd) {
            player->scheduleBuffer(tone, std::nullopt, loop);
        }
    };
    player->scheduleBuffer(tone, std::nullopt, loop);
    player->scheduleBuffer(tone, std::nullopt, loop);
    player->play();
    const auto error = output.start();
    ASSERT_FALSE(error) << *error;

    OfflineEngine capture;
    capture.engine->connect(capture.engine->inputNode(), capture.engine->mainMixer());
    const auto captureError = capture.engine->inputNode()->startCapture("quelmo_test.monitor");
    ASSERT_FALSE(captureError) << *captureError;

    // An idle null sink renders its first second in one go; listen for three, keeping up with the
    // capture so its ring never overflows, and judge the last part.
    std::vector<float> heard;
    for (int i = 0; i < 150; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        output.dispatchEvents();
        const auto block = capture.render(882);
        heard.insert(heard.end(), block->channel(0).begin(), block->channel(0).end());
    }
    const float* tail = heard.data() + heard.size() - 17640;
    // Judged on its best tenth of a second: a machine that falls behind for a moment (a gap in the
    // output, or in the capture) leaves a hole in some part of the recording.
    double loudest = 0.0;
    for (int part = 0; part < 4; ++part) {
        loudest = std::max(loudest, magnitudeAt(tail + part * 4410, 4410, 1000.0));
    }
    EXPECT_NEAR(loudest, 0.5, 0.05);
    EXPECT_NEAR(dominantFrequency(tail, 17640, 500.0, 1500.0, 10.0), 1000.0, 10.0);
    EXPECT_GT(output.stats().blocks, 10u);

    capture.engine->inputNode()->stopCapture();
    output.stop();
}

TEST(SoundServer, NoServerMeansAQuickClearFailureEveryTime) {
    const char* previous = std::getenv("PULSE_SERVER");
    const std::string saved = previous ? previous : "";
    ::setenv("PULSE_SERVER", "unix:/nonexistent/quelmo-test-socket", 1);
    for (int attempt = 0; attempt < 2; ++attempt) {
        AudioEngine engine;
        const auto started = std::chrono::steady_clock::now();
        const auto error = engine.start();
        const auto took = std::chrono::steady_clock::now() - started;
        ASSERT_TRUE(error.has_value());
        EXPECT_FALSE(error->empty());
        EXPECT_FALSE(engine.isRunning());
        EXPECT_LT(took, std::chrono::seconds(2));
        InputNode input;
        EXPECT_TRUE(input.startCapture().has_value());
    }
    ::setenv("PULSE_SERVER", saved.c_str(), 1);
}
