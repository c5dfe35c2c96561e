#include "capture/CaptureController.h"
#include "deck/QuelmoViewModel.h"
#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "engine/devices/OfflineDriver.h"
#include "samples/QuelmoSampleBuffers.h"
#include "support/OfflineDeck.h"
#include "support/RefusingDriver.h"
#include "support/EventLoop.h"
#include "shared/Log.h"
#include "support/ScopedEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace quelmo;

namespace {

struct Deck : test::OfflineDeck {
    using OfflineDeck::OfflineDeck;

    // Every rack unit far from its defaults.
    void pushTheRackToExtremes() {
        auto& m = *model;
        m.filterNode()->band(0).setFrequency(150.0f);
        m.delayNode()->setWetDryMix(100.0f);
        m.delayNode()->setFeedback(95.0f);
        m.delayNode()->setDelayTime(0.01f);
        m.reverbNode()->setWetDryMix(100.0f);
        m.distortionNode()->setWetDryMix(100.0f);
        m.distortionNode()->setPreGain(20.0f);
        m.masterToneEQNode()->setGlobalGain(12.0f);
        for (std::size_t b = 0; b < 3; ++b) {
            m.masterToneEQNode()->band(b).setGain(b == 1 ? -24.0f : 24.0f);
        }
        m.effectsMixerNode()->setVolume(2.0f);
        m.padsMixerNode()->setPan(-1.0f);
    }
};

bool identical(const engine::AudioBuffer& a, const engine::AudioBuffer& b) {
    for (std::uint32_t c = 0; c < 2; ++c) {
        const auto x = a.channel(c);
        const auto y = b.channel(c);
        if (!std::equal(x.begin(), x.end(), y.begin(), y.end())) {
            return false;
        }
    }
    return true;
}

} // namespace

// A deck started before its sound server (a desktop's autostart racing it at login) says so once,
// shows the banner, and plays as soon as the server appears.
TEST(DeckGraph, AnEngineThatCannotStartLogsOnceAndTheDeckConnectsWhenTheServerAppears) {
    ScopedLogCapture log;
    test::LateServerDriver* driver = nullptr;
    Deck deck([&driver] {
        auto late = std::make_unique<test::LateServerDriver>();
        driver = late.get();
        return late;
    });
    auto& m = *deck.model;
    m.prepareAudioEngineIfNeeded(); // again: still one line
    const auto lines = log.lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Quelmo: engine start failed: Connection refused"), 1);
    EXPECT_TRUE(m.isGraphBuilt());
    EXPECT_EQ(m.soundServerStatus(), QStringLiteral("Sound server lost — reconnecting…"));

    driver->serverAppears();
    EXPECT_TRUE(test::spinUntil([&] { return m.soundServerStatus().isEmpty(); }));
    m.triggerPad(0, false);
    const auto out = driver->renderFrames(8192);
    float loudest = 0.0f;
    for (float v : out->channel(0)) {
        loudest = std::max(loudest, std::abs(v));
    }
    EXPECT_GT(loudest, 0.5f) << "the kick plays once the server is there";
    m.shutdown();
}

TEST(DeckGraph, MetronomeToneAndVoiceBypassTheRackSampleForSample) {
    auto renderBypassPaths = [](bool extremeRack) {
        Deck deck;
        auto& m = *deck.model;
        if (extremeRack) {
            deck.pushTheRackToExtremes();
        }
        m.beatPlayerNode()->scheduleBuffer(m.tickBuffer(), std::int64_t{100});
        m.testTonePlayerNode()->scheduleBuffer(QuelmoSampleBuffers::bassNote(), std::int64_t{3000});
        m.voiceDropPlayerNode()->scheduleBuffer(QuelmoSampleBuffers::airhorn(), std::int64_t{9000});
        for (const auto& player : {m.beatPlayerNode(), m.testTonePlayerNode(), m.voiceDropPlayerNode()}) {
            player->play();
        }
        return deck.render(44100);
    };
    const auto defaults = renderBypassPaths(false);
    const auto extreme = renderBypassPaths(true);
    EXPECT_TRUE(identical(*defaults, *extreme));

    // The same extremes do change a pad.
    auto renderPad = [](bool extremeRack) {
        Deck deck;
        if (extremeRack) {
            deck.pushTheRackToExtremes();
        }
        deck.model->padPlayers()[0]->scheduleBuffer(deck.model->padBuffers()[0]);
        deck.model->padPlayers()[0]->play();
        return deck.render(8192);
    };
    EXPECT_FALSE(identical(*renderPad(false), *renderPad(true)));
}

namespace {
// The offline output, pinned or following the default device as the deck asks.
class PinnedOutput final : public engine::AudioDriver {
public:
    explicit PinnedOutput(bool* pinned) : pinned_(pinned) {}
    std::optional<std::string> start(engine::RenderFunction render) override { return offline_.start(std::move(render)); }
    void stop() override { offline_.stop(); }
    std::optional<std::string> pinToCurrentDevice() override {
        *pinned_ = true;
        return std::nullopt;
    }
    std::optional<std::string> followDefaultDevice() override {
        *pinned_ = false;
        return std::nullopt;
    }

private:
    engine::OfflineDriver offline_;
    bool* pinned_;
};
} // namespace

// ROUTE ALL APPS keeps the deck's own sound on its device while the capture sink becomes the
// default. When the route cannot be made (here: no sound server to make the sink on), the output
// follows the default device again, instead of staying pinned until Quelmo quits.
TEST(DeckGraph, ARouteThatCannotBeMadeLetsTheOutputFollowTheDefaultAgain) {
    test::ScopedEnv server("PULSE_SERVER", "unix:/nonexistent/quelmo-route-test");
    bool pinned = false;
    Deck deck([&pinned] { return std::make_unique<PinnedOutput>(&pinned); });
    auto& m = *deck.model->capture();
    m.installBlackHole(true);
    EXPECT_TRUE(pinned) << "pinned while the route is being made";
    EXPECT_TRUE(test::spinUntil([&] { return !m.blackHoleInstallStatus().startsWith("Creating"); }, 10000));
    EXPECT_FALSE(m.isCapturingSystemAudio());
    EXPECT_TRUE(test::spinUntil([&] { return !pinned; }, 10000)) << "still pinned after the route failed";
    deck.model->shutdown();
}
