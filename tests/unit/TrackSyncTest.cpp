// SYNC: a row played at the deck's tempo with its beats on the metronome's clicks.
#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "engine/devices/OfflineDriver.h"
#include "support/ClockedDeck.h"
#include "support/EventLoop.h"
#include "support/WavFile.h"
#include "timing/TimingController.h"
#include "tracks/TrackSync.h"
#include "tracks/TracksController.h"

#include "support/Bursts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>
#include <cstdio>

using namespace quelmo;
using namespace quelmo::test;

namespace {

constexpr int rate = 44100;

// Clicks (3 ms of 3 kHz) every beat at bpm, the first at `first` seconds; its peak 4 frames in.
std::vector<float> clickTrack(double bpm, double seconds, double first) {
    std::vector<float> s(static_cast<std::size_t>(seconds * rate), 0.0f);
    const double beat = 60.0 / bpm * rate;
    for (double at = first * rate; at < static_cast<double>(s.size()) - 200; at += beat) {
        const auto start = static_cast<std::size_t>(std::lround(at));
        for (std::size_t t = 0; t < 132; ++t) {
            s[start + t] = 0.8f * static_cast<float>(std::sin(2.0 * std::numbers::pi * 3000.0 * static_cast<double>(t) / rate));
        }
    }
    return s;
}

// A deck whose transport runs on a clock moved with its rendered output, while the tracks' workers
// run for real between blocks (as they do between audio callbacks).
struct SyncDeck : ClockedDeck {
    std::int64_t frames = 0;

    SyncDeck() {
        model->tracks()->analysis()->setAutoGain(false);
        model->prepareAudioEngineIfNeeded();
        model->waitForTimePitchWarmUp();
    }

    QUuid add(const QString& name, const std::vector<float>& samples) {
        const QString path = documents.filePath(name);
        writeWav(path, samples);
        model->tracks()->addImportFiles({QUrl::fromLocalFile(path)});
        EXPECT_TRUE(spinUntil([&] { return !model->tracks()->importedTracks().isEmpty(); }, 60000));
        return model->tracks()->importedTracks().back().id;
    }

    // A click track at 120 BPM, listed and analysed.
    QUuid addClicks() {
        const QUuid id = add(QStringLiteral("clicks.wav"), clickTrack(120.0, 20.0, 0.25));
        const QString idText = id.toString(QUuid::WithoutBraces).toUpper();
        EXPECT_TRUE(spinUntil([&] { return model->tracks()->analysis()->temposForView().contains(idText); }));
        EXPECT_EQ(model->tracks()->analysis()->temposForView().value(idText).toString(), QStringLiteral("120.0 BPM"));
        return id;
    }

    void render(double seconds) {
        auto& engine = model->audioEngine();
        const std::int64_t target = frames + std::llround(seconds * rate);
        while (frames < target) {
            const auto n = static_cast<std::uint32_t>(std::min<std::int64_t>(4096, target - frames));
            static_cast<engine::OfflineDriver&>(engine.driver()).renderFrames(n, 512);
            frames += n;
            scheduler->advance(std::chrono::nanoseconds(std::llround(static_cast<double>(frames) * 1e9 / rate)) - scheduler->now());
            for (int i = 0; i < 5; ++i) {
                engine.dispatchEvents();
                spinFor(5);
            }
        }
    }
};

struct Recorder {
    std::vector<float> samples;
    explicit Recorder(engine::AudioNode& node) {
        node.installTap([this](const float* const* channels, std::uint32_t n, std::int64_t at) {
            if (samples.size() < static_cast<std::size_t>(at) + n) {
                samples.resize(static_cast<std::size_t>(at) + n);
            }
            std::copy_n(channels[0], n, samples.begin() + at);
        });
    }
};

// How far each track beat in [from, to) lies from the nearest metronome click, in ms, sorted.
std::vector<double> offsets(const std::vector<double>& beats, const std::vector<double>& clicks, double from,
                            double to = 1e18) {
    std::vector<double> out;
    for (const auto b : beats) {
        if (b < from || b >= to) {
            continue;
        }
        double nearest = 1e9;
        for (const auto c : clicks) {
            nearest = std::min(nearest, std::abs(b - c));
        }
        out.push_back(nearest / rate * 1000.0);
    }
    std::sort(out.begin(), out.end());
    return out;
}

// Where each sound starts: its energy's peak less that of the clean sound.
std::vector<double> starts(const std::vector<float>& recorded, const std::vector<float>& clean) {
    const double own = test::burstPeaks(clean, 0.05f).front();
    auto found = test::burstPeaks(recorded, 0.05f);
    for (auto& f : found) {
        f -= own;
    }
    return found;
}

} // namespace

TEST(TrackSync, LoopsAreWholeBarsFromTheFirstBeatAndStartsFallOnTheNextBar) {
    // 120 BPM from 0.25 s in a 9.3 s file: 18 whole beats, so a loop of four bars.
    const auto loop = syncedLoop(BeatGrid{0.25, 0.5}, 44100.0, static_cast<std::int64_t>(9.3 * 44100));
    ASSERT_TRUE(loop);
    EXPECT_EQ(loop->beats, 16);
    EXPECT_EQ(loop->frameOfBeat(0), 11025);
    EXPECT_EQ(loop->frameOfBeat(16), 11025 + 16 * 22050);
    EXPECT_EQ(loop->barBeatAt(2.3, 44100.0), 4) << "2.3 s falls in the second bar";
    EXPECT_EQ(loop->barBeatAt(9.0, 44100.0), 12) << "past the loop: its last bar";
    EXPECT_EQ(loop->barBeatAt(0.0, 44100.0), 0);
    // Less than a bar: whole beats; less than a beat: nothing to loop.
    EXPECT_EQ(syncedLoop(BeatGrid{0.0, 0.5}, 44100.0, 70000)->beats, 3);
    EXPECT_FALSE(syncedLoop(BeatGrid{0.0, 0.5}, 44100.0, 20000));

    transport::BeatGrid beats;
    beats.anchorSample = 1000;
    beats.intervalSeconds = 0.5;
    EXPECT_EQ(beats.nextBarAt(1000), 0);
    EXPECT_EQ(beats.nextBarAt(1001), 4);
    EXPECT_EQ(beats.nextBarAt(1000 + 4 * 22050), 4);
    EXPECT_EQ(beats.nextBarAt(0), 0) << "before the anchor: its own bar";
}

TEST(TrackSync, ASyncedRowPlaysAtTheDecksTempoOnTheMetronomesBeatsAndFollowsATempoChangeAndADrag) {
    SyncDeck deck;
    auto* tracks = deck.model->tracks();
    auto* timing = deck.model->timing();
    const QUuid id = deck.addClicks();
    const QString idText = id.toString(QUuid::WithoutBraces).toUpper();
    ASSERT_TRUE(tracks->analysis()->grid(id));

    timing->setBpm(128.0);
    Recorder clicks(*deck.model->beatPlayerNode());
    timing->togglePlay();
    tracks->sync()->setSynced(id, true);
    EXPECT_EQ(tracks->sync()->syncedIdsForView(), QStringList{idText});
    tracks->toggleTrackPlayback(id);
    // Its stretcher is warmed on a worker first: half a second of a core, longer on a busy machine.
    ASSERT_TRUE(spinUntil([&] { return tracks->playingTrackIds().contains(id); }, 60000));
    ASSERT_TRUE(tracks->sync()->stretcherOf(id));
    Recorder track(*tracks->sync()->stretcherOf(id));
    EXPECT_NEAR(tracks->sync()->stretcherOf(id)->rate(), 128.0 / tracks->analysis()->grid(id)->bpm(), 1e-6);
    deck.render(10.0);

    const std::int64_t change = static_cast<std::int64_t>(deck.model->audioEngine().sampleTime());
    timing->setBpm(100.0);
    EXPECT_NEAR(tracks->sync()->stretcherOf(id)->rate(), 100.0 / tracks->analysis()->grid(id)->bpm(), 1e-6);
    deck.render(8.0);
    // The slider dragged back up a BPM every 50 ms, through the track's own 120 BPM.
    const std::int64_t dragged = static_cast<std::int64_t>(deck.model->audioEngine().sampleTime());
    for (int bpm = 101; bpm <= 127; ++bpm) {
        timing->setBpm(bpm);
        deck.render(0.05);
    }
    const std::int64_t released = static_cast<std::int64_t>(deck.model->audioEngine().sampleTime());
    deck.render(6.0);

    const auto tick = deck.model->tickBuffer()->channel(0);
    const auto clickAt = starts(clicks.samples, std::vector<float>(tick.begin(), tick.end()));
    const auto oneClick = clickTrack(120.0, 0.5, 0.0);
    const auto beats = starts(track.samples, oneClick);
    ASSERT_GE(clickAt.size(), 50u) << "every click of 25 s";
    ASSERT_FALSE(beats.empty());
    EXPECT_LT(offsets({beats.front()}, clickAt, 0).front(), 2.0) << "the first beat starts on a bar's click";
    const auto locked = offsets(beats, clickAt, 0, static_cast<double>(dragged));
    const auto after = offsets(beats, clickAt, static_cast<double>(change) + 0.6 * rate, static_cast<double>(dragged));
    const auto afterDrag = offsets(beats, clickAt, static_cast<double>(released) + 0.5 * rate);
    ASSERT_GE(locked.size(), 34u);
    ASSERT_GE(after.size(), 12u);
    ASSERT_GE(afterDrag.size(), 10u);
    std::printf("synced row, beat to click: median %.2f ms, worst %.2f ms over %zu beats; from one beat after the change "
                "to 100 BPM: median %.2f ms, worst %.2f ms; from one beat after a drag to 127 BPM: median %.2f ms, "
                "worst %.2f ms\n",
                locked[locked.size() / 2], locked.back(), locked.size(), after[after.size() / 2], after.back(),
                afterDrag[afterDrag.size() / 2], afterDrag.back());
    // Every beat within a millisecond of its click, from one beat after a tempo change too; after a
    // drag of 27 steps, within the 2 ms a listener cannot tell from together.
    EXPECT_LT(locked.back(), 1.0);
    EXPECT_LT(after.back(), 1.0);
    EXPECT_LT(afterDrag.back(), 2.0);
}

TEST(TrackSync, TheSequencerKeepsToTheMetronomesBarWhileASyncedRowPlays) {
    SyncDeck deck;
    auto* tracks = deck.model->tracks();
    auto* timing = deck.model->timing();
    const QUuid id = deck.addClicks();
    ASSERT_TRUE(tracks->analysis()->grid(id));

    timing->setBpm(128.0);
    timing->toggleSequencerCell(0, 0); // a kick on each bar's first sixteenth
    Recorder clicks(*deck.model->beatPlayerNode());
    Recorder kicks(*deck.model->padPlayers()[0]);
    const auto sampleTime = [&] { return static_cast<double>(deck.model->audioEngine().sampleTime()); };
    // Running on its own grid before anything is synced; then the row takes its player.
    timing->toggleSequencer();
    deck.render(0.3);
    timing->togglePlay();
    tracks->sync()->setSynced(id, true);
    tracks->toggleTrackPlayback(id);
    ASSERT_TRUE(spinUntil([&] { return tracks->playingTrackIds().contains(id); }, 60000));
    const double locked = sampleTime();
    deck.render(4.0);
    // Started again mid-bar: column 1 waits for the next bar.
    timing->toggleSequencer();
    deck.render(0.9);
    const double restarted = sampleTime();
    timing->toggleSequencer();
    deck.render(4.0);
    const double changed = sampleTime();
    timing->setBpm(100.0);
    deck.render(6.0);

    const auto tick = deck.model->tickBuffer()->channel(0);
    const auto clickAt = starts(clicks.samples, std::vector<float>(tick.begin(), tick.end()));
    const auto kick = deck.model->padBuffers()[0]->channel(0);
    const auto kickAt = starts(kicks.samples, std::vector<float>(kick.begin(), kick.end()));
    ASSERT_GE(clickAt.size(), 28u);
    // The transport's first click begins a bar: bars begin on every fourth click from it.
    const auto nearestClick = [&](double at) {
        std::size_t best = 0;
        for (std::size_t k = 1; k < clickAt.size(); ++k) {
            if (std::abs(clickAt[k] - at) < std::abs(clickAt[best] - at)) {
                best = k;
            }
        }
        return best;
    };
    int onBars = 0, afterChange = 0;
    for (const double at : kickAt) {
        if (at < locked) {
            continue;
        }
        const std::size_t k = nearestClick(at);
        EXPECT_LT(std::abs(clickAt[k] - at) / rate * 1000.0, 1.0) << "a kick off the click, at " << at / rate << " s";
        EXPECT_EQ(k % 4, 0u) << "a kick off the bar's first beat, at " << at / rate << " s";
        ++onBars;
        afterChange += at >= changed ? 1 : 0;
    }
    EXPECT_GE(onBars, 6);
    EXPECT_GE(afterChange, 2) << "the sequencer follows the tempo change on the bar";
    const auto firstAfterRestart = std::find_if(kickAt.begin(), kickAt.end(), [&](double at) { return at >= restarted; });
    const auto firstBar = std::find_if(clickAt.begin(), clickAt.end(), [&](const double& at) {
        return at >= restarted && (&at - clickAt.data()) % 4 == 0;
    });
    ASSERT_NE(firstAfterRestart, kickAt.end());
    ASSERT_NE(firstBar, clickAt.end());
    EXPECT_LT(std::abs(*firstAfterRestart - *firstBar) / rate * 1000.0, 1.0) << "column 1 on the next bar";
}
