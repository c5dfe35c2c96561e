#include "timing/TimingController.h"
#include "mix/MixController.h"
#include "engine/FfmpegTool.h"
#include "engine/file/AudioFile.h"
#include "support/Files.h"
#include "support/TrackDeck.h"
#include "shared/Log.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <cstdint>
#include <string>
#include <vector>

using namespace quelmo;
using namespace quelmo::test;

// A loop is compared with a file holding the same passes back to back, played once: any frame
// lost, repeated or late at a pass boundary shows as a difference.
TEST(DeckTracks, ATrackLoopsSampleExactlyThroughTheRackAndPausesAndResumes) {
    const auto pass = risingTone(rate / 2, 440.0);
    Deck looping;
    const auto loopId = looping.add({looping.file("loop.wav", pass)}).front();
    Deck reference;
    const auto refId = reference.add({reference.file("four.wav", concat(concat(pass, pass), concat(pass, pass)))}).front();
    looping.play(loopId);
    reference.play(refId);
    const auto got = looping.render(4 * pass.size());
    const auto want = reference.render(4 * pass.size());
    ASSERT_GT(peak(want, 0, want.size()), 0.1f);
    std::size_t firstDifference = got.size();
    for (std::size_t i = 0; i < got.size(); ++i) {
        if (got[i] != want[i]) {
            firstDifference = i;
            break;
        }
    }
    EXPECT_EQ(firstDifference, got.size()) << "the loop differs from back-to-back passes at frame " << firstDifference;

    // Pause holds: silence (after the rack's short tail) and the position kept; resume continues at
    // the level the file had reached, not from its silent start.
    const std::size_t quarter = pass.size() / 4;
    looping.render(3 * quarter); // 3/4 into the fifth pass
    const float before = peak(looping.render(1024), 0, 1024);
    looping.model->tracks()->toggleTrackPlayback(loopId);
    EXPECT_TRUE(looping.model->tracks()->pausedTrackIds().contains(loopId));
    const auto held = looping.render(rate / 2);
    EXPECT_EQ(peak(held, rate / 4, rate / 4), 0.0f);
    looping.model->tracks()->toggleTrackPlayback(loopId);
    EXPECT_TRUE(looping.model->tracks()->playingTrackIds().contains(loopId));
    const float after = peak(looping.render(1024), 0, 1024);
    EXPECT_GT(after, 0.9f * before);
    EXPECT_LT(after, 1.2f * before);
}

TEST(DeckTracks, SeekingAQuarterIntoATwelveSecondFilePlaysFromThereThenWholePasses) {
    const auto file = risingTone(12 * rate, 300.0);
    const std::int64_t quarter = static_cast<std::int64_t>(file.size()) / 4;
    Deck seeking;
    const auto id = seeking.add({seeking.file("twelve.wav", file)}).front();
    seeking.play(id);
    seeking.model->tracks()->seekTrack(id, 0.25);
    EXPECT_DOUBLE_EQ(seeking.model->tracks()->trackPositions().value(id), 3.0);
    // The segment and the pass behind it are prepared on a worker before any sound; the two passes
    // the seek dropped count until the first render delivers their end.
    const auto player = seeking.model->tracks()->trackPlayerNode(id);
    ASSERT_TRUE(player);
    ASSERT_TRUE(test::spinUntil([&] { return player->pendingItemCount() == 4; }));

    Deck reference;
    const auto tail = std::vector<float>(file.begin() + quarter, file.end());
    const auto refId = reference.add({reference.file("ref.wav", concat(tail, file))}).front();
    reference.play(refId);

    const std::size_t frames = tail.size() + static_cast<std::size_t>(rate);
    // In steps well inside the 2 s each stream keeps decoded ahead, so a busy machine's worker
    // keeps up.
    const auto got = seeking.render(frames, 16384);
    const auto want = reference.render(frames, 16384);
    ASSERT_GT(peak(want, 0, rate), 0.1f);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), want.begin(), want.end()))
        << "seek to 0.25 did not start at frame length/4 or the whole pass did not follow at once";
}

namespace {
// Files this process has open now.
int openFiles() {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                          std::filesystem::directory_iterator()));
}
} // namespace

// A long session: every track played and removed gives its player and its file back. Before, the
// rack's mixer ran out of inputs at the 63rd and later rows played silently while saying they
// played, and every removed file stayed open until the deck went.
TEST(DeckTracks, AHundredTracksPlayedAndRemovedLeaveNothingBehindAndTheLastIsHeard) {
    Deck deck;
    auto& m = *deck.model;
    const QString path = deck.file("short.wav", tone(rate / 10, 441.0));
    int before = 0;
    for (int i = 0; i < 100; ++i) {
        const auto id = deck.add({path}).back();
        deck.play(id);
        const auto out = deck.render(rate / 20, 4096);
        if (i == 0) {
            before = openFiles() - 1; // what the deck keeps open anyway, less this track's file
        }
        if (i == 99) {
            EXPECT_GT(amplitudeAt(out, 441.0), 0.1) << "the hundredth track is heard";
            EXPECT_TRUE(m.tracks()->trackErrors().isEmpty());
        }
        m.tracks()->removeImport(id);
    }
    deck.settle();
    EXPECT_TRUE(test::spinUntil([&] { return openFiles() <= before; })) << openFiles() << " open, " << before << " before";
    EXPECT_EQ(m.tracks()->trackPlayerCount(), 0u);
    EXPECT_LE(m.tracks()->idleTrackPlayerCount(), 4u);
    EXPECT_TRUE(m.tracks()->trackVolumes().isEmpty() && m.tracks()->trackPositions().isEmpty() && m.tracks()->trackDurations().isEmpty());
    m.tracks()->stopTrack(QUuid::createUuid()); // an id the deck never knew leaves no trace
    EXPECT_TRUE(m.tracks()->trackPositions().isEmpty());
}

// A drag across a long MP3's seek bar: fifty places in a second. Only the latest place is
// prepared once the worker is free, the sound ends up there, and the position readout runs with
// the sound, not ahead of it.
TEST(DeckTracks, FiftySeeksInASecondEndWithTheSoundAtTheLastPlaceAndTheReadoutWithIt) {
    const auto ffmpeg = test::ffmpegProgram();
    if (ffmpeg.empty()) {
        GTEST_SKIP() << "ffmpeg is not on PATH; it makes the test file";
    }
    Deck deck;
    auto& m = *deck.model;
    const QString mp3 = deck.documents.filePath("ten minutes.mp3");
    ASSERT_TRUE(test::runFfmpeg(ffmpeg, {"-f", "lavfi", "-i", "anoisesrc=d=600:c=pink:r=44100:a=0.4:s=7", "-ac", "1",
                                         "-b:a", "96k"},
                                mp3.toStdString()));
    std::string error;
    const auto reference = engine::AudioFile::open(mp3.toStdString(), &error);
    ASSERT_TRUE(reference) << error;
    const auto ids = deck.add({mp3});
    ASSERT_FALSE(ids.empty());
    const auto id = ids.back();
    deck.play(id);
    deck.render(4096);

    // Fifty places from a fifth to four fifths of the file, 20 ms apart, the deck rendering in time.
    auto& driver = static_cast<engine::OfflineDriver&>(m.audioEngine().driver());
    QElapsedTimer clock;
    clock.start();
    std::int64_t rendered = 0;
    const auto renderInTime = [&] {
        const auto due = clock.nsecsElapsed() * rate / 1'000'000'000;
        std::vector<float> out;
        while (rendered < due) {
            const auto block = driver.renderFrames(441, 441);
            out.insert(out.end(), block->channel(0).begin(), block->channel(0).end());
            rendered += 441;
        }
        m.audioEngine().dispatchEvents();
        return out;
    };
    double last = 0.0;
    std::vector<float> heard; // since the latest seek
    for (int i = 0; i < 50; ++i) {
        last = 0.2 + 0.6 * i / 49.0;
        m.tracks()->seekTrack(id, last);
        if (i == 0) {
            EXPECT_NEAR(m.tracks()->trackPositions().value(id), last * m.tracks()->trackDurations().value(id), 1e-9)
                << "the readout shows the place asked for at once";
        }
        heard.clear();
        const auto until = clock.elapsed() + 20;
        while (clock.elapsed() < until) {
            const auto out = renderInTime();
            heard.insert(heard.end(), out.begin(), out.end());
            test::spinFor(2);
        }
    }

    // After the release: silence while the last place is prepared, then its sound, from there.
    while (clock.elapsed() < 20'000 && (heard.size() < 44100 || peak(heard, heard.size() - 44100, 44100) == 0.0f)) {
        const auto out = renderInTime();
        heard.insert(heard.end(), out.begin(), out.end());
        test::spinFor(2);
    }
    // The sound's start: past what the rack still rang of the last sound, the first frame after the
    // silence while the place was prepared.
    const auto quiet = std::search_n(heard.begin(), heard.end(), 32, 0.0f);
    const auto onset =
        std::find_if(quiet == heard.end() ? heard.begin() : quiet, heard.end(), [](float v) { return v != 0.0f; }) -
        heard.begin();
    ASSERT_LT(static_cast<std::size_t>(onset) + 8192, heard.size()) << "the sound never came back";
    const double startedAt = clock.elapsed() / 1000.0 - static_cast<double>(heard.size() - onset) / rate;

    // Where in the file the sound is: the reference's frames that match what was heard.
    const auto target = static_cast<std::int64_t>(last * static_cast<double>(reference->length()));
    ASSERT_TRUE(reference->seek(target - rate / 10, &error)) << error;
    auto window = engine::AudioBuffer::create(reference->processingFormat(), rate / 5 + 4096);
    ASSERT_GT(reference->read(*window, window->frameCapacity(), &error), 0) << error;
    const auto* want = window->channel(0).data();
    const float* got = heard.data() + onset + 1024; // past the rack's first block
    std::int64_t bestOffset = 0;
    double best = -1.0;
    for (std::int64_t offset = 0; offset + 4096 <= static_cast<std::int64_t>(window->frameLength()); ++offset) {
        double dot = 0.0, energy = 0.0;
        for (int i = 0; i < 2048; ++i) {
            dot += got[i] * want[offset + i];
            energy += want[offset + i] * want[offset + i];
        }
        const double score = dot / std::sqrt(energy + 1e-12);
        if (score > best) {
            best = score;
            bestOffset = offset;
        }
    }
    const std::int64_t soundAt = target - rate / 10 + bestOffset - 1024;
    EXPECT_NEAR(static_cast<double>(soundAt - target) / rate, 0.0, 0.001) << "the sound starts at the last place";

    // The readout runs from the moment the sound did.
    const double readout = m.tracks()->trackPositions().value(id);
    ASSERT_TRUE(test::spinUntil([&] { return m.tracks()->trackPositions().value(id) != readout; }, 500));
    const double soundNow = static_cast<double>(target) / rate + (clock.elapsed() / 1000.0 - startedAt);
    EXPECT_NEAR(m.tracks()->trackPositions().value(id), soundNow, 0.1) << "the readout agrees with the sound";
}

TEST(DeckTracks, TwoTracksPlayTogetherEachAtItsOwnLevel) {
    Deck deck;
    auto& m = *deck.model;
    const auto ids = deck.add({deck.file("a.wav", tone(rate, 441.0)), deck.file("b.wav", tone(rate, 1102.0))});
    m.tracks()->setTrackVolume(ids[1], 0.2); // before the first play: applied by it
    deck.play(ids[0]);
    deck.play(ids[1]);
    auto out = deck.render(rate);
    out.erase(out.begin(), out.begin() + 4410);
    EXPECT_NEAR(amplitudeAt(out, 441.0) / amplitudeAt(out, 1102.0), 4.0, 0.3);

    m.tracks()->setTrackVolume(ids[1], 0.8);
    deck.render(4410);
    out = deck.render(rate / 2);
    EXPECT_NEAR(amplitudeAt(out, 441.0) / amplitudeAt(out, 1102.0), 1.0, 0.1);

    // Pausing one leaves the other sounding.
    m.tracks()->toggleTrackPlayback(ids[0]);
    deck.render(4410);
    out = deck.render(rate / 2);
    EXPECT_LT(amplitudeAt(out, 441.0), 0.001);
    EXPECT_GT(amplitudeAt(out, 1102.0), 0.1);
}

// A row plays through the import chain: the import level, SPEED and the import bus meter act on it
// as they do on the import player, and the pads stay outside it.
TEST(DeckTracks, ARowPlaysThroughTheImportLevelSpeedAndBusMeter) {
    Deck deck;
    auto& m = *deck.model;
    const auto pass = risingTone(rate / 2, 441.0);
    const auto id = deck.add({deck.file("rising.wav", pass)}).front();
    m.mix()->setImportVolume(1.0);
    m.mix()->applyMixLevels();
    deck.play(id);
    deck.render(rate / 10);
    const auto full = deck.render(rate);
    test::spinFor(100); // the meters' timer drains the taps
    EXPECT_GT(m.mix()->meterImport(), 0.1) << "the import bus meter reads the row";

    m.mix()->setImportVolume(0.5);
    m.mix()->applyMixLevels();
    deck.render(rate / 10);
    const auto half = deck.render(rate);
    EXPECT_NEAR(peak(half, 0, half.size()) / peak(full, 0, full.size()), 0.5, 0.01) << "IMPORT VOLUME 50 %";

    // At SPEED 1.25 a pass of half a second comes round every 0.4 s. The level rises through each
    // pass and falls back at its start: the falls are 0.4 s apart.
    m.mix()->setImportVolume(1.0);
    m.mix()->setImportRate(1.25);
    m.mix()->applyMixLevels();
    deck.render(rate / 2);
    const auto fast = deck.render(3 * rate);
    constexpr std::size_t window = rate / 100;
    std::vector<std::size_t> falls;
    float previous = 0.0f;
    for (std::size_t w = 0; w + window <= fast.size(); w += window) {
        const float level = peak(fast, w, window);
        if (previous > 0.4f && level < 0.2f) {
            falls.push_back(w);
        }
        previous = level;
    }
    ASSERT_GE(falls.size(), 5u) << "the passes come round";
    for (std::size_t i = 1; i < falls.size(); ++i) {
        EXPECT_NEAR(static_cast<double>(falls[i] - falls[i - 1]) / rate, 0.4, 0.021) << "pass " << i;
    }
}

// Stops drop the queued passes; a dropped pass must never start the loop again.
TEST(DeckTracks, StopTrackStopAllTracksAndStopImportLeaveSilence) {
    Deck deck;
    auto& m = *deck.model;
    const auto ids = deck.add({deck.file("a.wav", tone(rate / 4, 440.0)), deck.file("b.wav", tone(rate / 4, 880.0))});
    auto silentAfter = [&](const char* what) {
        deck.render(rate / 4); // the rack's tail
        deck.settle();
        EXPECT_EQ(peak(deck.render(rate), 0, rate), 0.0f) << what;
    };

    deck.play(ids[0]);
    ASSERT_GT(peak(deck.render(rate / 2), 0, rate / 2), 0.1f);
    m.tracks()->stopTrack(ids[0]);
    EXPECT_FALSE(m.tracks()->playingTrackIds().contains(ids[0]));
    EXPECT_DOUBLE_EQ(m.tracks()->trackPositions().value(ids[0]), 0.0);
    silentAfter("stopTrack");

    deck.play(ids[0]);
    deck.play(ids[1]);
    ASSERT_GT(peak(deck.render(rate / 2), 0, rate / 2), 0.1f);
    m.tracks()->stopAllTracks();
    EXPECT_TRUE(m.tracks()->playingTrackIds().isEmpty());
    silentAfter("stopAllTracks");

    // The import player: the selected entry (the last added) looping through the time-pitch unit.
    m.tracks()->playImport();
    ASSERT_TRUE(test::spinUntil([&] { return m.tracks()->importPlaying(); }));
    EXPECT_NEAR(m.tracks()->currentTrackDuration(), 0.25, 1e-9);
    const auto sounding = deck.render(rate);
    EXPECT_GT(amplitudeAt(std::vector<float>(sounding.begin() + rate / 2, sounding.end()), 880.0), 0.05);
    // A cue jump seeks the running import player to the cue's fraction of its file.
    m.timing()->jumpToCue(0.5);
    EXPECT_DOUBLE_EQ(m.tracks()->currentTrackPosition(), 0.125);
    EXPECT_GT(amplitudeAt(deck.render(rate / 2), 880.0), 0.05);
    m.tracks()->stopImport();
    silentAfter("stopImport");
}

TEST(DeckTracks, AnUnreadableFileIsListedWithoutOverviewAndPlayingItHarmsNothing) {
    Deck deck;
    auto& m = *deck.model;
    const QString bad = deck.documents.filePath("notes.mp3");
    writeFile(bad, "these are words, not sound");
    ScopedLogCapture log;
    const auto ids = deck.add({deck.file("good.wav", tone(rate, 441.0)), bad});
    ASSERT_EQ(ids.size(), 2u);
    EXPECT_TRUE(m.tracks()->importedTracks()[1].waveform().isEmpty());
    deck.play(ids[0]);
    m.tracks()->toggleTrackPlayback(ids[1]);
    test::spinFor(300);
    EXPECT_FALSE(m.tracks()->playingTrackIds().contains(ids[1]));
    EXPECT_TRUE(m.tracks()->playingTrackIds().contains(ids[0]));
    const auto out = deck.render(rate / 2);
    EXPECT_GT(amplitudeAt(out, 441.0), 0.1);
    const auto lines = log.lines();
    const auto named = std::count_if(lines.begin(), lines.end(), [](const QString& line) { return line.contains("notes.mp3"); });
    EXPECT_EQ(named, 2) << "analysis and playback failures each name the file";
}

