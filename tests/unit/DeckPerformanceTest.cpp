#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "mix/MixController.h"
#include "engine/devices/OfflineDriver.h"
#include "samples/QuelmoSampleBuffers.h"
#include "support/ClockedDeck.h"
#include "support/EventLoop.h"
#include "util/FrameClock.h"
#include "voice/VoiceController.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace quelmo;

namespace {

// The mix's debounce runs on the real clock here; only the perform card is on the test's.
struct PlayedDeck : test::ClockedDeck {
    explicit PlayedDeck(bool soundServer = true) : ClockedDeck(soundServer, Timers::real) {}

    std::shared_ptr<engine::AudioBuffer> render(std::uint32_t frames) {
        auto& driver = static_cast<engine::OfflineDriver&>(model->audioEngine().driver());
        auto out = driver.renderFrames(frames, 512);
        model->audioEngine().dispatchEvents();
        return out;
    }
};

// Error energy of out against expected times gain, relative to the expected signal, in dB.
double errorDB(const engine::AudioBuffer& out, std::uint32_t offset, const engine::AudioBuffer& expected, float gain) {
    double error = 0.0, signal = 0.0;
    for (std::uint32_t i = 0; i < expected.frameLength(); ++i) {
        const double want = static_cast<double>(expected.channel(0)[i]) * gain;
        const double d = out.channel(0)[offset + i] - want;
        error += d * d;
        signal += want * want;
    }
    return 10.0 * std::log10(error / signal);
}

// Frames [from, from + count) of the first channel of buffer.
std::shared_ptr<engine::AudioBuffer> slice(const engine::AudioBuffer& buffer, std::uint32_t from, std::uint32_t count) {
    auto out = engine::AudioBuffer::create(buffer.format(), count);
    out->setFrameLength(count);
    std::copy_n(buffer.channel(0).data() + from, count, out->channel(0).data());
    return out;
}

} // namespace

TEST(DeckPads, AHitPlaysThePadsSoundThroughTheMixAndTheFirstHitBuildsTheGraph) {
    PlayedDeck deck;
    EXPECT_FALSE(deck.model->isGraphBuilt());
    deck.model->triggerPad(0);
    EXPECT_TRUE(deck.model->isGraphBuilt());
    ASSERT_EQ(deck.model->padPlayers().size(), 8u);
    const auto players = deck.model->padPlayers();
    deck.model->prepareAudioEngineIfNeeded();
    EXPECT_EQ(deck.model->padPlayers(), players) << "built once";
    const auto kick = QuelmoSampleBuffers::kick();
    const auto out = deck.render(kick->frameLength());
    // Pads bus at 1.0, centred; the master at its 0.9; the rack open.
    EXPECT_LT(errorDB(*out, 0, *kick, 0.9f), -50.0);
    EXPECT_EQ(deck.overlay.lastCard().title, QString::fromUtf8("PAD · KICK"));
}

// A hit by hand sounds at once, as on a drum machine: the pad's own ringing sound is cut short
// with a short fade, never queued behind (a held or fast-played pad would otherwise pile up hits
// that sound long after the key is let go) and never layered.
TEST(DeckPads, AQuickSecondHitCutsTheFirstShortAndSoundsOnTime) {
    const std::uint32_t n = QuelmoSampleBuffers::snare()->frameLength();
    PlayedDeck alone;
    alone.model->triggerPad(1, false);
    const auto oneHit = alone.render(n + 1024);

    PlayedDeck deck;
    deck.model->triggerPad(1, false);
    const auto first = deck.render(1024);
    deck.model->triggerPad(1, false);
    const auto second = deck.render(n + 1024);
    EXPECT_LT(errorDB(*first, 0, *slice(*oneHit, 0, 1024), 1.0f), -80.0);
    // After the fade, the second hit is the first one from its start: on time, not queued.
    const auto afterFade = slice(*oneHit, 256, n - 256);
    EXPECT_LT(errorDB(*second, 256, *afterFade, 1.0f), -50.0);
    // Nothing of either plays on past the second one's length.
    float tail = 0.0f;
    for (std::uint32_t i = n + 64; i < n + 1024; ++i) {
        tail = std::max(tail, std::abs(second->channel(0)[i]));
    }
    EXPECT_LT(tail, 1e-4f);
    // Two hits in one block: the later one sounds, once.
    deck.model->triggerPad(1, false);
    deck.model->triggerPad(1, false);
    const auto both = deck.render(2 * n);
    EXPECT_LT(errorDB(*both, 256, *afterFade, 1.0f), -50.0);
    EXPECT_LT(std::abs(both->channel(0)[n + 100]), 1e-4f);
}

TEST(DeckPads, BadIndicesDoNothingAndOnlyAskedForHitsFlash) {
    PlayedDeck deck;
    int flashes = 0;
    QObject::connect(&deck.overlay, &QuelmoOverlayPresenter::flashed, [&] { ++flashes; });
    deck.model->triggerPad(-1);
    deck.model->triggerPad(8);
    deck.model->triggerPad(3, false);
    EXPECT_EQ(flashes, 0);
    deck.model->triggerPad(2);
    EXPECT_EQ(flashes, 1);
    EXPECT_EQ(deck.overlay.lastCard().keyCaption, "Pad 3");
    deck.model->triggerPad(0, true, "Q");
    EXPECT_EQ(deck.overlay.lastCard().keyCaption, "Q");
    for (const auto& player : deck.model->padPlayers()) {
        EXPECT_LE(player->pendingItemCount(), 1u);
    }
}

TEST(DeckMix, ABurstOfChangesAppliesOnceAfterItEnds) {
    PlayedDeck deck;
    deck.model->prepareAudioEngineIfNeeded();
    int applied = 0;
    QElapsedTimer sinceLast;
    qint64 appliedAfter = -1;
    QObject::connect(deck.model->mix(), &MixController::mixLevelsApplied, [&] {
        ++applied;
        appliedAfter = sinceLast.elapsed();
    });
    // A busy machine may stretch a 10 ms pause past the 48 ms window; each such gap rightly
    // lets one apply through, so count them.
    int longGaps = 0;
    for (int i = 0; i < 10; ++i) {
        if (i > 0 && sinceLast.elapsed() >= 40) {
            ++longGaps;
        }
        deck.model->mix()->setReverbMix(0.1 * i);
        sinceLast.start();
        test::spinFor(10);
    }
    EXPECT_TRUE(test::spinUntil([&] { return applied > longGaps; }, 500));
    test::spinFor(100);
    EXPECT_GE(applied, 1);
    EXPECT_LE(applied, 1 + longGaps) << "a burst closer than 48 ms applies once, after it ends";
    EXPECT_GE(appliedAfter, 40);
    EXPECT_FLOAT_EQ(deck.model->reverbNode()->wetDryMix(), 90.0f);
}

TEST(DeckMix, BoldPaLiftsWithoutLoweringAndResetFxRestores) {
    PlayedDeck deck;
    deck.model->prepareAudioEngineIfNeeded();
    auto& m = *deck.model;
    m.mix()->applyBoldCommandMixPreset();
    EXPECT_DOUBLE_EQ(m.mix()->postFXGain(), 1.08);
    EXPECT_FLOAT_EQ(m.effectsMixerNode()->volume(), 1.08f) << "applied at once";
    m.mix()->applyBoldCommandMixPreset();
    EXPECT_DOUBLE_EQ(m.mix()->postFXGain(), 1.08);

    m.mix()->setPostFXGain(1.5);
    m.mix()->setReverbMix(0.3);
    m.mix()->applyBoldCommandMixPreset();
    EXPECT_DOUBLE_EQ(m.mix()->postFXGain(), 1.35);
    EXPECT_DOUBLE_EQ(m.mix()->reverbMix(), 0.08);

    m.mix()->setMasterVolume(0.4);
    m.voice()->setVoiceSayVoiceTag("Daniel");
    m.mix()->resetEffects();
    EXPECT_DOUBLE_EQ(m.mix()->postFXGain(), 1.0);
    EXPECT_DOUBLE_EQ(m.mix()->distortionMix(), 0.0);
    EXPECT_EQ(m.voice()->voiceSayVoiceTag(), "auto");
    EXPECT_DOUBLE_EQ(m.mix()->masterVolume(), 0.4) << "the master is left alone";
    EXPECT_FLOAT_EQ(m.masterToneEQNode()->band(1).gain(), 0.0f);
}

TEST(DeckMeters, MetersFollowTheSignalThroughTheTaps) {
    PlayedDeck deck;
    auto& m = *deck.model;
    m.prepareAudioEngineIfNeeded();
    EXPECT_TRUE(m.padsMixerNode()->hasTap());
    EXPECT_TRUE(m.mainMixerNode()->hasTap());
    m.triggerPad(0, false);
    deck.render(2048);
    m.mix()->updateMeters();
    EXPECT_GT(m.mix()->meterPads(), 0.05);
    EXPECT_GT(m.mix()->meterMaster(), 0.05);
    EXPECT_DOUBLE_EQ(m.mix()->meterImport(), 0.0);
    deck.render(44100); // the rest of the kick, then silence
    m.mix()->updateMeters();
    const double afterKick = m.mix()->meterPads();
    deck.render(1024);
    m.mix()->updateMeters();
    EXPECT_DOUBLE_EQ(m.mix()->meterPads(), afterKick * 0.88) << "silence takes 12 % off per tick";

    m.shutdown();
    EXPECT_FALSE(m.padsMixerNode()->hasTap());
}

TEST(DeckMeters, TheMetersMoveOnTheSharedFrameClockWhichFollowersShareInPhaseAndWhichStopsWhenLeft) {
    auto& clock = FrameClock::shared();
    PlayedDeck deck;
    auto& m = *deck.model;
    m.prepareAudioEngineIfNeeded();
    ASSERT_TRUE(clock.isRunning());
    m.triggerPad(0, false);
    deck.render(2048);
    ASSERT_TRUE(test::spinUntil([&] { return m.mix()->meterPads() > 0.05; }, 1000)) << "the clock moves the meters";

    // Two views at a third of the rate, the second joining later, draw on the same ticks.
    std::vector<quint64> firstTicks, secondTicks;
    quint64 now = 0;
    const auto counting = QObject::connect(&clock, &FrameClock::ticked, &clock, [&](quint64 count) { now = count; });
    {
        QObject first, second;
        clock.follow(&first, 3, [&] { firstTicks.push_back(now); });
        test::spinFor(2 * FrameClock::intervalMs);
        clock.follow(&second, 3, [&] { secondTicks.push_back(now); });
        ASSERT_TRUE(test::spinUntil([&] { return secondTicks.size() >= 3; }, 2000));
        EXPECT_TRUE(std::includes(firstTicks.begin(), firstTicks.end(), secondTicks.begin(), secondTicks.end()));
        EXPECT_EQ(secondTicks[1] - secondTicks[0], 3u);
    }
    QObject::disconnect(counting);
    m.shutdown();
    EXPECT_TRUE(test::spinUntil([&] { return !clock.isRunning(); }, 1000)) << "with nobody following, nothing ticks";
}

TEST(DeckMeters, AnEngineThatNeverStartedGetsNoTapsAndTheMetersStayAtZero) {
    PlayedDeck deck(false);
    deck.model->triggerPad(0, false);
    EXPECT_FALSE(deck.model->padsMixerNode()->hasTap());
    test::spinFor(120);
    EXPECT_DOUBLE_EQ(deck.model->mix()->meterPads(), 0.0);
}
