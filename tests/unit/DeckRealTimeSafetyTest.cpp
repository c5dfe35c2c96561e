// The deck's whole graph on the render thread: no allocation and no lock in any block, with
// everything a session runs at once: the four meter taps and the lid tap's output history, the set
// recorder, system-audio capture through the input node, a voice drop through the voice chain,
// eight tracks looping and pads hit by hand. The counters (support/RenderThreadCounters) replace
// the global allocation functions, so this is a test program of its own; the capture needs a sound
// server, so it runs beside a private one (tests/e2e/with_sound_server.sh).

#include "deck/QuelmoViewModel.h"
#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "tracks/TracksController.h"
#include "mix/MixController.h"
#include "engine/devices/OfflineDriver.h"
#include "engine/graph/InputNode.h"
#include "recording/RecordingController.h"
#include "samples/QuelmoSampleBuffers.h"
#include "support/EventLoop.h"
#include "support/RenderThreadCounters.h"
#include "support/WavFile.h"
#include "voice/VoiceController.h"

#include <QDir>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace quelmo;

namespace {

// A second of a tone, in stereo.
void writeTone(const QString& path, double hz) {
    std::vector<float> samples;
    for (int i = 0; i < 44100; ++i) {
        const auto s = static_cast<float>(0.25 * std::sin(2.0 * std::numbers::pi * hz * i / 44100.0));
        samples.insert(samples.end(), {s, s});
    }
    test::writeWav(path, samples, 2);
}

} // namespace

TEST(DeckRealTimeSafety, AWholeSessionRendersWithoutAllocatingOrLocking) {
    QTemporaryDir scratch;
    QuelmoViewModel::Dependencies deps;
    deps.documentsDir = scratch.filePath(QStringLiteral("Documents"));
    deps.musicDir = scratch.filePath(QStringLiteral("Music"));
    deps.makeAudioDriver = [] { return std::make_unique<engine::OfflineDriver>(); };
    QuelmoViewModel deck(deps);
    deck.prepareAudioEngineIfNeeded();
    auto& engine = deck.audioEngine();
    auto& driver = static_cast<engine::OfflineDriver&>(engine.driver());

    // Eight tracks looping.
    QList<QUrl> files;
    for (int i = 0; i < 8; ++i) {
        const QString path = scratch.filePath(QStringLiteral("track%1.wav").arg(i));
        writeTone(path, 220.0 * (i + 1));
        files.append(QUrl::fromLocalFile(path));
    }
    deck.tracks()->addImportFiles(files);
    ASSERT_TRUE(test::spinUntil([&] { return deck.tracks()->importedTracks().size() == 8; }, 10000));
    for (const auto& track : deck.tracks()->importedTracks()) {
        deck.tracks()->toggleTrackPlayback(track.id);
    }
    ASSERT_TRUE(test::spinUntil([&] { return deck.tracks()->playingTrackIds().size() == 8; }, 10000));

    // System audio: the test sink's monitor through the input node, at the head of the import chain.
    const auto& input = engine.inputNode();
    const auto captureError = input->startCapture("quelmo_test.monitor");
    ASSERT_FALSE(captureError) << *captureError;
    engine.disconnectOutput(*deck.importPlayerNode());
    ASSERT_TRUE(engine.connect(input, deck.importInputMixerNode()));

    // A voice drop, shifted and stretched by the voice chain.
    deck.voice()->setVoiceMorphPitchCents(300.0);
    deck.voice()->setVoiceMorphRate(1.2);
    deck.mix()->applyMixLevels();
    deck.voiceDropPlayerNode()->scheduleBuffer(QuelmoSampleBuffers::airhorn());
    deck.voiceDropPlayerNode()->play();

    // REC.
    deck.recording()->toggleRecording();
    ASSERT_TRUE(deck.recording()->isRecordingSet());

    std::vector<float> left(512), right(512);
    float* channels[2] = {left.data(), right.data()};
    const auto between = [&](int block) {
        if (block % 10 == 0) {
            deck.triggerPad(block / 10 % 8, false);
        }
        engine.dispatchEvents();
        test::spinFor(1); // the workers queue the tracks' next passes, the capture arrives
    };
    for (int block = 0; block < 100; ++block) { // units size what they grow lazily
        driver.renderBlock(channels, 512);
        between(block);
    }
    test::resetCounters();
    for (int block = 0; block < 600; ++block) {
        {
            test::CountingScope counting;
            driver.renderBlock(channels, 512);
        }
        between(block);
    }
    EXPECT_EQ(test::allocationsWhileCounting.load(), 0u);
    EXPECT_EQ(test::locksWhileCounting.load(), 0u);
    EXPECT_GT(deck.mix()->meterMaster(), 0.0) << "the meters saw the blocks";
    EXPECT_GT(input->captureStats().ratio, 0.0);

    deck.recording()->toggleRecording();
    input->stopCapture();
    deck.shutdown();
}
