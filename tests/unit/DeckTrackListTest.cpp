// The import list around the rows: removal, selection, hot cues, the mix tags, the list model and
// the waveform panel's tracks.

#include "mix/MixTags.h"
#include "timing/TimingController.h"
#include "support/Files.h"
#include "support/TrackDeck.h"
#include "shared/Log.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace quelmo;
using namespace quelmo::test;

TEST(DeckTracks, RemovalDeletesOnlyFilesReallyInsideTheDownloadsFolder) {
    Deck deck;
    auto& m = *deck.model;
    const QString downloads = QDir(deck.documents.path()).filePath("Quelmo Downloads");
    const auto tiny = tone(441, 441.0);
    const QString inside = deck.file("Quelmo Downloads/song.wav", tiny);
    const QString music = deck.file("Music/mine.wav", tiny);
    const QString sibling = deck.file("Quelmo Downloads old/keep.wav", tiny);
    const QString outside = deck.file("elsewhere/target.wav", tiny);
    const QString link = QDir(downloads).filePath("link.wav");
    ASSERT_TRUE(QFile::link(outside, link));
    // Through ".." the path names the sibling folder while starting with the downloads folder.
    const QString dotted = downloads + "/../Quelmo Downloads old/keep.wav";

    const auto ids = deck.add({inside, music, sibling, link, dotted});
    ScopedLogCapture log;
    for (const auto& id : ids) {
        m.tracks()->removeImport(id.toString(QUuid::WithoutBraces).toUpper());
    }
    EXPECT_FALSE(QFile::exists(inside));
    EXPECT_TRUE(QFile::exists(music));
    EXPECT_TRUE(QFile::exists(sibling));
    EXPECT_TRUE(QFile::exists(outside));
    EXPECT_TRUE(m.tracks()->importedTracks().isEmpty());
    EXPECT_EQ(log.lines(), std::vector<QString>{"Deleted downloaded file: song.wav"});
}

TEST(DeckTracks, RemovingTheSelectedEntrySelectsTheFirstLeft) {
    Deck deck;
    auto& m = *deck.model;
    const auto tiny = tone(441, 441.0);
    const auto ids = deck.add({deck.file("1.wav", tiny), deck.file("2.wav", tiny), deck.file("3.wav", tiny)});
    EXPECT_EQ(m.tracks()->selectedImportId(), ids[2]);
    m.tracks()->setSelectedImportId(ids[1]);
    deck.add({deck.file("4.wav", tiny)});
    EXPECT_EQ(m.tracks()->selectedImportId(), ids[1]) << "adding keeps a selection";
    m.tracks()->removeImport(ids[1]);
    EXPECT_EQ(m.tracks()->selectedImportId(), ids[0]);
    m.tracks()->removeImport(ids[2]);
    EXPECT_EQ(m.tracks()->selectedImportId(), ids[0]) << "removing another entry keeps the selection";
    const auto left = m.tracks()->importedTracks();
    for (const auto& t : left) {
        m.tracks()->removeImport(t.id);
    }
    EXPECT_FALSE(m.tracks()->selectedImportId().has_value());
}

TEST(DeckTracks, HotCuesAddJumpRemoveWithinTheirTolerancesAndStopAtEight) {
    Deck deck;
    auto& m = *deck.model;
    m.timing()->addOrJumpCue(0.30);
    m.timing()->addOrJumpCue(0.50);
    m.timing()->addOrJumpCue(0.52); // within 0.028 of 0.50: jumps there instead
    EXPECT_EQ(m.timing()->hotCues(), (QList<double>{0.30, 0.50}));
    EXPECT_DOUBLE_EQ(m.timing()->playhead(), 0.50);
    m.timing()->addOrJumpCue(0.53);
    EXPECT_EQ(m.timing()->hotCues(), (QList<double>{0.30, 0.50, 0.53}));
    m.timing()->removeCue(0.47); // 0.50 within 0.035; 0.53 is 0.06 away
    EXPECT_EQ(m.timing()->hotCues(), (QList<double>{0.30, 0.53}));
    m.timing()->addOrJumpCue(1.4);
    EXPECT_EQ(m.timing()->hotCues().last(), 1.0);

    m.timing()->clearCues();
    for (double c : {0.9, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8}) {
        m.timing()->addOrJumpCue(c);
    }
    EXPECT_EQ(m.timing()->hotCues(), (QList<double>{0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.9})) << "the ninth is ignored";
    m.timing()->addOrJumpCue(0.89); // still jumps with eight
    EXPECT_DOUBLE_EQ(m.timing()->playhead(), 0.9);
    EXPECT_EQ(m.timing()->hotCues().size(), 8);
}

TEST(DeckTracks, MixTagsFollowTheControlsInTheirFixedOrder) {
    MixLevels m;
    EXPECT_EQ(mixTags(m, 1), QStringList{"DLY+"}); // the resting feedback 0.4 already counts
    m.delayFeedback = 0.05;
    EXPECT_TRUE(mixTags(m, 0).isEmpty());
    m.delayTime = 0.33;
    EXPECT_EQ(mixTags(m, 0), QStringList{"DLY+"});
    m.delayTime = 0.3;

    m.importRate = 1.25;
    m.pitchShift = -0.25; // -6 semitones
    m.reverbMix = 0.459;
    m.delayMix = 0.2;
    m.filterCutoff = 0.5;
    m.distortionMix = 0.07;
    m.masterToneLiftDB = -2.7;
    m.lowShelfGain = -3.9;
    m.midPresenceDB = 0.5;
    m.highShelfGain = 6.0;
    m.postFXGain = 1.2;
    m.stereoImport = 0.2;
    m.stereoPads = 0.75;
    EXPECT_EQ(mixTags(m, 3), (QStringList{QString::fromUtf8("SPD×1.25"), "PT-6st", "REV45", "DLY20", "FLT50", "DST7",
                                          "LIFT-2dB", "LO-3", "MID0", "HI6", "BUS120", "IPAN20", "PPAN75",
                                          QString::fromUtf8("DECKS×3")}));

    // At the thresholds nothing shows.
    MixLevels edge;
    edge.delayFeedback = 0.06;
    edge.importRate = 1.015;
    edge.reverbMix = 0.03;
    edge.filterCutoff = 0.99;
    edge.masterToneLiftDB = 0.25;
    edge.lowShelfGain = 0.35;
    edge.postFXGain = 1.035;
    edge.stereoImport = 0.535;
    EXPECT_TRUE(mixTags(edge, 1).isEmpty());
}


// Views of long lists create rows only for what they show: the item model must report each change
// as the rows it touches, never as a reset of the whole list.
TEST(DeckTracks, TheListModelReportsAppendsAndRemovalsRowByRow) {
    Deck deck;
    auto& m = *deck.model;
    auto* list = m.tracks()->importedTrackModel();
    std::vector<std::string> events;
    QObject::connect(list, &QAbstractItemModel::rowsInserted, [&](const QModelIndex&, int first, int last) {
        events.push_back("insert " + std::to_string(first) + "-" + std::to_string(last));
    });
    QObject::connect(list, &QAbstractItemModel::rowsRemoved, [&](const QModelIndex&, int first, int last) {
        events.push_back("remove " + std::to_string(first) + "-" + std::to_string(last));
    });
    QObject::connect(list, &QAbstractItemModel::modelReset, [&] { events.push_back("reset"); });
    const auto tiny = tone(4410, 441.0);
    const auto ids = deck.add({deck.file("1.wav", tiny), deck.file("2.wav", tiny), deck.file("3.wav", tiny)});
    m.tracks()->removeImport(ids[1]);
    deck.add({deck.file("4.wav", tiny)});
    EXPECT_EQ(events, (std::vector<std::string>{"insert 0-0", "insert 1-1", "insert 2-2", "remove 1-1", "insert 2-2"}));
    ASSERT_EQ(list->rowCount(), 3);
    const QStringList names{"1", "3", "4"};
    for (int row = 0; row < 3; ++row) {
        const auto index = list->index(row, 0);
        EXPECT_EQ(list->data(index, Qt::DisplayRole).toString(), names[row]);
        const auto track = qvariant_cast<QuelmoImportedTrack>(list->data(index, list->roleNames().key("track")));
        EXPECT_EQ(track, m.tracks()->importedTracks()[row]);
        EXPECT_FALSE(track.waveform().isEmpty());
    }
}

// The waveform panel reads only what it draws; a change of the list that leaves that alone (here
// a new entry) must not make it read again, or a long library costs every change its whole length.
TEST(DeckTracks, TheWaveformPanelsTracksFollowPlayingAndSelectionOnlyWithOverviews) {
    Deck deck;
    auto& m = *deck.model;
    const auto tiny = tone(4410, 441.0);
    const QString bad = deck.documents.filePath("bad.wav");
    writeFile(bad, "not audio");
    ScopedLogCapture log; // the unreadable file is logged
    const auto ids = deck.add({deck.file("a.wav", tiny), deck.file("b.wav", tiny), bad});
    int notified = 0;
    QObject::connect(m.tracks(), &quelmo::TracksController::overviewTracksChanged, [&] { ++notified; });
    const auto drawn = [&](const QVariant& value) { return qvariant_cast<QuelmoImportedTrack>(value).name; };

    EXPECT_EQ(m.tracks()->selectedImportId(), ids[2]);
    EXPECT_FALSE(m.tracks()->selectedOverviewTrackForView().isValid()) << "the selected entry has no overview";
    m.tracks()->setSelectedImportId(ids[0]);
    EXPECT_EQ(drawn(m.tracks()->selectedOverviewTrackForView()), "a");
    EXPECT_FALSE(qvariant_cast<QuelmoImportedTrack>(m.tracks()->selectedOverviewTrackForView()).waveform().isEmpty());
    deck.play(ids[1]);
    ASSERT_EQ(m.tracks()->playingOverviewTracksForView().size(), 1);
    EXPECT_EQ(drawn(m.tracks()->playingOverviewTracksForView().first()), "b");
    EXPECT_EQ(notified, 2);

    deck.add({deck.file("c.wav", tiny)});
    EXPECT_EQ(notified, 2) << "a new entry changes nothing drawn";
    m.tracks()->removeImport(ids[1]);
    EXPECT_TRUE(m.tracks()->playingOverviewTracksForView().isEmpty());
    EXPECT_EQ(notified, 3);
}
