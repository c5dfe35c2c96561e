// The deck's use of the track analyses: the row's tempo with the user's octave, the cache that spares
// a second decode, and AUTO GAIN on what the rows play.
#include "support/DrumSong.h"
#include "support/TrackDeck.h"
#include "tracks/TrackMeasurer.h"

#include <QFile>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>

using namespace quelmo;
using namespace quelmo::test;

namespace {

QString writeSong(Deck& deck, const QString& name, double bpm, float gain = 1.0f, double seconds = 16.0) {
    Song song = renderDrumSong(bpm, DrumPattern::fourOnTheFloor, seconds, 0.0);
    for (float& s : song.samples) {
        s *= gain;
    }
    const QString path = deck.documents.filePath(name);
    writeWav(path, song.samples, 2, 44100, true);
    return path;
}

QString idText(const QUuid& id) { return id.toString(QUuid::WithoutBraces).toUpper(); }

// Decodes the track's file through the controller as a new row would: the analysis it answers with.
// `whileRunning` is called right after the decode has started.
std::optional<WaveformAnalysis> analyse(Deck& deck, const QString& path,
                                        const std::function<void()>& whileRunning = {}) {
    QuelmoImportedTrack track(QUrl::fromLocalFile(path));
    std::optional<WaveformAnalysis> answer;
    bool done = false;
    deck.model->tracks()->analyzeWaveform(track, [&](std::optional<WaveformAnalysis> a) {
        answer = std::move(a);
        done = true;
    });
    if (whileRunning) {
        whileRunning();
    }
    EXPECT_TRUE(spinUntil([&] { return done; }, 60000));
    return answer;
}

double rms(const std::vector<float>& s) {
    double sum = 0;
    for (float v : s) sum += static_cast<double>(v) * v;
    return std::sqrt(sum / static_cast<double>(std::max<std::size_t>(1, s.size())));
}

} // namespace

TEST(TrackAnalysis, ARowShowsItsTempoKeepsTheUsersOctaveAndIsDecodedOncePerVersionOfItsFile) {
    Deck deck;
    auto* analysis = deck.model->tracks()->analysis();
    const QString path = writeSong(deck, QStringLiteral("groove.wav"), 120);
    const QUuid id = deck.add({path}).back();
    ASSERT_TRUE(spinUntil([&] { return analysis->temposForView().contains(idText(id)); }));
    EXPECT_EQ(analysis->temposForView().value(idText(id)).toString(), QStringLiteral("120.0 BPM"));
    const QVariantMap grid = analysis->beatGrid(idText(id)).toMap();
    EXPECT_NEAR(grid.value("beatLength").toDouble(), 0.5, 0.002);
    EXPECT_LT(std::abs(grid.value("firstBeat").toDouble()), 0.012); // the first kick sounds at 0

    // The detector's octave corrected by the user, kept with the file's analysis.
    analysis->halveTempo(idText(id));
    EXPECT_EQ(analysis->temposForView().value(idText(id)).toString(), QStringLiteral("60.0 BPM"));
    EXPECT_NEAR(analysis->beatGrid(idText(id)).toMap().value("beatLength").toDouble(), 1.0, 0.004);

    // The same file again: nothing decoded, the user's octave still there.
    deck.model->tracks()->removeImport(id);
    EXPECT_FALSE(analysis->temposForView().contains(idText(id)));
    const auto cached = analyse(deck, path);
    ASSERT_TRUE(cached);
    EXPECT_EQ(cached->passes, 0);
    EXPECT_FALSE(cached->levels.empty());
    const QUuid again = deck.add({path}).back();
    ASSERT_TRUE(spinUntil([&] { return analysis->temposForView().contains(idText(again)); }));
    EXPECT_EQ(analysis->temposForView().value(idText(again)).toString(), QStringLiteral("60.0 BPM"));

    // A changed file is a new one: decoded again, its own tempo found. The decode runs on the
    // application's workers, never on Qt's global pool, whose threads the window's painting waits
    // for when it splits a large fill: an analysis there froze the window until it finished.
    writeSong(deck, QStringLiteral("groove.wav"), 100, 1.0f, 12.0);
    const auto fresh = analyse(deck, path, [] { EXPECT_EQ(QThreadPool::globalInstance()->activeThreadCount(), 0); });
    ASSERT_TRUE(fresh && fresh->measures.shownGrid());
    EXPECT_EQ(fresh->passes, 1);
    EXPECT_NEAR(fresh->measures.grid->bpm(), 100.0, 0.5);
}

TEST(TrackAnalysis, AutoGainBringsRowsTowardOneLoudnessWithinItsLimits) {
    Deck deck;
    auto* analysis = deck.model->tracks()->analysis();
    const QString quiet = writeSong(deck, QStringLiteral("quiet.wav"), 128, 0.02f, 8.0);
    const QString loud = writeSong(deck, QStringLiteral("loud.wav"), 128, 1.0f, 8.0);
    const auto ids = deck.add({quiet, loud});
    ASSERT_TRUE(spinUntil([&] { return analysis->temposForView().size() == 2; }));

    // What each row plays at with AUTO GAIN off and on, from the same place.
    auto level = [&](const QUuid& id, bool autoGain) {
        analysis->setAutoGain(autoGain);
        deck.model->tracks()->playTrack(id, 0.0);
        EXPECT_TRUE(spinUntil([&] { return deck.model->tracks()->playingTrackIds().contains(id); }));
        const double value = rms(deck.render(44100));
        deck.model->tracks()->stopTrack(id);
        deck.render(4096);
        return value;
    };
    const double quietOff = level(ids[0], false), quietOn = level(ids[0], true);
    const double loudOff = level(ids[1], false), loudOn = level(ids[1], true);

    // The quiet one: as far up as the 12 dB limit allows; the loud one turned down by what its
    // loudness is over the target.
    EXPECT_NEAR(20 * std::log10(quietOn / quietOff), 12.0, 0.2);
    EXPECT_EQ(analysis->gainsForView().value(idText(ids[0])).toString(), QStringLiteral("+12.0 dB"));
    const double loudGain = 20 * std::log10(loudOn / loudOff);
    EXPECT_LT(loudGain, -0.5);
    EXPECT_NEAR(loudGain, 20 * std::log10(analysis->gainFactor(ids[1])), 0.2);
    EXPECT_TRUE(analysis->gainsForView().value(idText(ids[1])).toString().startsWith(u'−'));
    // Off, the rows show no gain at all.
    analysis->setAutoGain(false);
    EXPECT_TRUE(analysis->gainsForView().isEmpty());
}

TEST(TrackAnalysis, AutoGainNeverPassesTheTruePeakCeilingNorTwelveDecibels) {
    TrackMeasures m;
    EXPECT_EQ(autoGainDb(m), 0.0); // silence: untouched
    m.loudness = -30.0;
    m.truePeak = std::pow(10.0, -20.0 / 20); // -20 dBTP: room for 19 dB
    EXPECT_NEAR(autoGainDb(m), 12.0, 1e-9);
    m.truePeak = std::pow(10.0, -4.0 / 20); // -4 dBTP: only 3 dB to the ceiling
    EXPECT_NEAR(autoGainDb(m), 3.0, 1e-9);
    m.loudness = -8.0;
    m.truePeak = 1.2; // a loud master over full scale: down by 6 dB, which clears its peak too
    EXPECT_NEAR(autoGainDb(m), std::min(-6.0, -1.0 - 20 * std::log10(1.2)), 1e-9);
}
