// The import panel, its track rows and the waveform panel, as a user meets them on the deck.

#include "FramePacedItem.h"
#include "UiTestSupport.h"
#include "deck/QuelmoViewModel.h"
#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "tracks/TracksController.h"
#include "keys/KeyboardController.h"
#include "timing/TimingController.h"
#include "mix/MixController.h"
#include "downloads/DownloadsController.h"
#include "midi/MidiController.h"
#include "keys/KeyDecoding.h"
#include "devices/OfflineDriver.h"
#include "support/DrumSong.h"
#include "support/Files.h"
#include "support/WavFile.h"
#include "midi/MidiPads.h"
#include "support/ScopedEnv.h"

#include <QClipboard>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using quelmo::QuelmoViewModel;
using quelmo::uitest::all;
using quelmo::uitest::Scene;
using quelmo::uitest::textOf;

namespace {

std::unique_ptr<QuelmoViewModel> offlineModel(const QString& documents) {
    QuelmoViewModel::Dependencies deps;
    deps.documentsDir = documents;
    deps.makeAudioDriver = [] { return std::make_unique<quelmo::engine::OfflineDriver>(); };
    return std::make_unique<QuelmoViewModel>(deps);
}

// The deck on a controller whose sound goes nowhere, so tracks play without a sound server.
struct Deck {
    QTemporaryDir documents;
    std::unique_ptr<QuelmoViewModel> model = offlineModel(documents.path());
    Scene scene{QStringLiteral("QuelmoDeckView.qml"), {{QStringLiteral("model"), QVariant::fromValue<QObject*>(model.get())}},
                QSize(1100, 3400)};
};

// The chips left to right, joined by " | ".
QString chips(Scene& scene) {
    QStringList out;
    for (QQuickItem* chip : all(scene, QStringLiteral("mixChip"))) {
        out.append(chip->property("text").toString());
    }
    return out.join(" | ");
}

// Clicks the waveform at this fraction of its width.
void clickWaveform(Scene& scene, const QString& name, double fraction) {
    QQuickItem* area = scene.named(name);
    ASSERT_TRUE(area);
    const QPoint at = area->mapToScene(QPointF(fraction * area->width(), area->height() / 2)).toPoint();
    QTest::mouseClick(&scene.window(), Qt::LeftButton, {}, at);
}

// A one-second mono 16-bit WAV of a sine at this frequency.
QString writeTone(const QString& dir, const QString& name, double hz) {
    std::vector<float> samples(44100);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<float>(std::sin(2 * M_PI * hz * static_cast<double>(i) / 44100.0) * 12000.0 / 32767.0);
    }
    const QString path = dir + "/" + name + ".wav";
    quelmo::test::writeWav(path, samples);
    return path;
}

} // namespace

// The file chooser ADD AUDIO opens is, on a desktop, a window of its own: while it is up, what is
// typed into it (heard as another application's keys) plays nothing.
TEST(TracksView, KeysTypedIntoTheFileChooserPlayNothing) {
    Deck deck;
    auto& model = *deck.model;
    const auto one = quelmo::keys::keyEventFromQt(Qt::Key_1, Qt::NoModifier, "1", 2 + 8, false);
    QObject* chooser = deck.scene.root()->findChild<QObject*>("importFileDialog");
    ASSERT_TRUE(chooser);
    // The deck view is put into its window after it is made: the dialog is told its window.
    chooser->setProperty("parentWindow", QVariant::fromValue<QWindow*>(&deck.scene.window()));
    deck.scene.click("ADD AUDIO");
    ASSERT_TRUE(QTest::qWaitFor([&] { return chooser->property("visible").toBool(); }));
    EXPECT_TRUE(model.keyboard()->outsideWindowOpen());
    EXPECT_FALSE(model.keyboard()->handleKeyEvent(one)) << "a key typed into the chooser";
    QMetaObject::invokeMethod(chooser, "reject");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !chooser->property("visible").toBool(); }));
    EXPECT_FALSE(model.keyboard()->outsideWindowOpen());
    EXPECT_TRUE(model.keyboard()->handleKeyEvent(one)) << "the chooser gone, the key plays its pad";
}

TEST(TracksView, WaveformPanelReadoutsAndCueClicks) {
    Deck deck;
    auto& model = *deck.model;
    model.tracks()->setCurrentTrackPosition(3.25);
    model.tracks()->setCurrentTrackDuration(12.0);
    EXPECT_EQ(textOf(deck.scene.root(), "trackPositionReadout"), "3.25s / 12.00s");
    EXPECT_EQ(textOf(deck.scene.root(), "cueCountReadout"), "0 CUES");
    EXPECT_EQ(all(deck.scene, "idleWave").size(), 1) << "nothing imported: the idle wave";

    clickWaveform(deck.scene, "Add or jump to cue", 0.25);
    ASSERT_EQ(model.timing()->hotCues().size(), 1);
    EXPECT_NEAR(model.timing()->hotCues()[0], 0.25, 0.01);
    clickWaveform(deck.scene, "Add or jump to cue", 0.75);
    EXPECT_EQ(textOf(deck.scene.root(), "cueCountReadout"), "2 CUES");
    const auto markers = all(deck.scene, "cueMarker");
    ASSERT_EQ(markers.size(), 2);
    QQuickItem* view = deck.scene.named("Add or jump to cue");
    EXPECT_NEAR(markers[0]->x() + markers[0]->width() / 2, 0.25 * view->width(), 3.0) << "a marker sits at its cue";

    deck.scene.click("Erase Mode");
    EXPECT_TRUE(deck.scene.root()->property("eraseCueMode").toBool());
    clickWaveform(deck.scene, "Remove cue", 0.26);
    EXPECT_EQ(textOf(deck.scene.root(), "cueCountReadout"), "1 CUES") << "Erase Mode removes the cue near the click";
    deck.scene.click("Erase Mode");
    clickWaveform(deck.scene, "Add or jump to cue", 0.5);
    EXPECT_EQ(model.timing()->hotCues().size(), 2);
    deck.scene.click("CLEAR CUES");
    EXPECT_EQ(textOf(deck.scene.root(), "cueCountReadout"), "0 CUES");
    EXPECT_TRUE(all(deck.scene, "cueMarker").isEmpty());
}

TEST(TracksView, MixChipsFollowTheController) {
    Deck deck;
    EXPECT_EQ(chips(deck.scene).toStdString(), "IMPORT→RACK | IMP 85% | DLY+") << "at the controller's start";
    deck.model->mix()->setImportVolume(0.996);
    deck.model->mix()->setReverbMix(0.45);
    EXPECT_EQ(chips(deck.scene).toStdString(), "IMPORT→RACK | REV45 | DLY+");
}

TEST(TracksView, IdleWaveStopsWhileTheWindowIsHiddenOrUntouched) {
    Deck deck;
    QQuickItem* wave = all(deck.scene, "idleWave").value(0);
    ASSERT_TRUE(wave);
    EXPECT_TRUE(wave->property("animating").toBool());
    deck.scene.window().showMinimized();
    QTest::qWait(50);
    if (deck.scene.window().visibility() == QWindow::Minimized) {
        EXPECT_FALSE(wave->property("animating").toBool()) << "a minimised deck draws nothing";
    }
    deck.scene.window().hide();
    EXPECT_FALSE(wave->property("animating").toBool()) << "a hidden deck draws nothing";
    deck.scene.window().show();
    EXPECT_TRUE(wave->property("animating").toBool());

    // Nothing playing and nobody at the desk: it holds still until the next key or pointer move.
    QTRY_VERIFY_WITH_TIMEOUT(!wave->property("animating").toBool(), quelmo::FramePacedItem::holdAfterMs + 2000);
    QTest::mouseMove(&deck.scene.window(), QPoint(200, 200));
    EXPECT_TRUE(wave->property("animating").toBool()) << "the pointer moved over the window";
}

TEST(TracksView, RowsPlayPauseAndRemove) {
    Deck deck;
    auto& model = *deck.model;
    QTemporaryDir music;
    const QString low = writeTone(music.path(), "low tone", 220);
    const QString high = writeTone(music.path(), "high tone", 880);
    model.tracks()->addImportFiles({QUrl::fromLocalFile(low), QUrl::fromLocalFile(high)});
    QTRY_COMPARE_WITH_TIMEOUT(all(deck.scene, "trackName").size(), 2, 5000);
    EXPECT_TRUE(deck.scene.isShown("Play low tone"));
    EXPECT_TRUE(deck.scene.isShown("Play high tone"));
    EXPECT_EQ(all(deck.scene, "trackOverview").size(), 2) << "each row shows its loudness overview";
    QQuickItem* selected = all(deck.scene, "selectedCanvas").value(0);
    ASSERT_TRUE(selected);
    EXPECT_TRUE(selected->isVisible()) << "the last added track is selected and shown";
    EXPECT_EQ(selected->property("frameInterval").toInt(), quelmo::FramePacedItem::restIntervalMs)
        << "a selected track that is not playing moves at the rest pace";
    QQuickItem* volume = deck.scene.named("Volume low tone");
    ASSERT_TRUE(volume);
    EXPECT_DOUBLE_EQ(volume->property("value").toDouble(), 0.8) << "no level set yet";
    EXPECT_EQ(all(deck.scene, "trackTime").value(0)->property("text").toString().count('/'), 1);

    deck.scene.click("Play low tone");
    QTRY_VERIFY_WITH_TIMEOUT(deck.scene.isShown("Pause low tone"), 3000);
    EXPECT_EQ(all(deck.scene, "trackPlaySymbol").value(0)->property("symbol").toString(), "pause.fill");
    EXPECT_EQ(all(deck.scene, "trackPlaySymbol").value(1)->property("symbol").toString(), "play.fill");
    deck.scene.click("Play high tone");
    QTRY_VERIFY_WITH_TIMEOUT(deck.scene.isShown("Pause high tone"), 3000);
    EXPECT_EQ(all(deck.scene, "trackCanvas").size(), 2) << "a canvas per playing track with an overview";
    EXPECT_EQ(all(deck.scene, "trackCanvas").value(0)->property("frameInterval").toInt(),
              quelmo::FramePacedItem::frameIntervalMs)
        << "playing tracks move at the full pace";
    EXPECT_TRUE(chips(deck.scene).endsWith(" | DECKS×2")) << chips(deck.scene).toStdString();

    const double level = deck.scene.drag("Volume high tone", 0.3);
    const QString highId = model.tracks()->importedTracksForView().value(1).value<quelmo::QuelmoImportedTrack>().idString();
    EXPECT_NEAR(model.tracks()->trackVolumesForView().value(highId).toDouble(), level, 1e-9) << "the row's slider sets its track's level";
    QQuickItem* seek = deck.scene.named("Seek low tone");
    ASSERT_TRUE(seek);
    QTest::mouseClick(&deck.scene.window(), Qt::LeftButton, {}, seek->mapToScene(QPointF(seek->width() * 0.5, seek->height() / 2)).toPoint());
    const QString lowId = model.tracks()->importedTracksForView().value(0).value<quelmo::QuelmoImportedTrack>().idString();
    QTRY_VERIFY_WITH_TIMEOUT(std::abs(model.tracks()->trackPositionsForView().value(lowId).toDouble() - 0.5) < 0.1, 2000);

    deck.scene.click("Pause low tone");
    QTRY_VERIFY_WITH_TIMEOUT(deck.scene.isShown("Play low tone"), 3000);
    EXPECT_EQ(all(deck.scene, "trackPlaySymbol").value(0)->property("symbol").toString(), "play.fill");
    EXPECT_TRUE(deck.scene.isShown("Pause high tone")) << "the other keeps playing";

    deck.scene.click("Remove low tone");
    QTRY_COMPARE_WITH_TIMEOUT(all(deck.scene, "trackName").size(), 1, 2000);
    EXPECT_EQ(all(deck.scene, "trackName").value(0)->property("text").toString(), "high tone");
}

// A row shows the tempo found in its file, corrected by an octave at a click, and the gain AUTO
// GAIN plays it at; the waveform panel draws the selected track's beats.
TEST(TracksView, ARowShowsItsTempoItsOctaveButtonsItsSyncAndItsAutoGain) {
    Deck deck;
    QTemporaryDir music;
    const auto song = quelmo::test::renderDrumSong(128, quelmo::test::DrumPattern::breakbeat, 10.0, 0.0);
    const QString path = music.filePath("groove.wav");
    quelmo::test::writeWav(path, song.samples, 2, 44100, true);
    deck.model->tracks()->addImportFiles({QUrl::fromLocalFile(path)});
    QTRY_VERIFY_WITH_TIMEOUT(deck.scene.isShown("Tempo of groove: 128.0 BPM"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!all(deck.scene, "beatGrid").isEmpty() && all(deck.scene, "beatGrid").value(0)->isVisible(), 3000);

    deck.scene.click("Halve tempo of groove");
    QTRY_VERIFY_WITH_TIMEOUT(deck.scene.isShown("Tempo of groove: 64.0 BPM"), 2000);
    deck.scene.click("Double tempo of groove");
    deck.scene.click("Double tempo of groove");
    QTRY_VERIFY_WITH_TIMEOUT(deck.scene.isShown("Tempo of groove: 256.0 BPM"), 2000);

    // SYNC switches the row to the deck's tempo, and back.
    const QString id = deck.model->tracks()->importedTracks().value(0).idString();
    deck.scene.click("SYNC of groove");
    QTRY_COMPARE_WITH_TIMEOUT(deck.model->tracks()->sync()->syncedIdsForView(), QStringList{id}, 2000);
    EXPECT_TRUE(all(deck.scene, "trackSyncButton").value(0)->property("checked").toBool());
    deck.scene.click("SYNC of groove");
    QTRY_VERIFY_WITH_TIMEOUT(deck.model->tracks()->sync()->syncedIdsForView().isEmpty(), 2000);
    EXPECT_FALSE(all(deck.scene, "trackSyncButton").value(0)->property("checked").toBool());

    QQuickItem* gain = all(deck.scene, "trackGain").value(0);
    ASSERT_TRUE(gain && gain->isVisible());
    EXPECT_TRUE(gain->property("text").toString().endsWith(" dB")) << gain->property("text").toString().toStdString();
    deck.scene.click("AUTO GAIN");
    QTRY_VERIFY_WITH_TIMEOUT(!gain->isVisible(), 2000);
    EXPECT_FALSE(deck.model->tracks()->analysis()->autoGain());
}

// A row whose file cannot be played says why, where its time would be.
TEST(TracksView, ARowThatCannotPlaySaysWhy) {
    Deck deck;
    QTemporaryDir music;
    const QString words = music.filePath("words.mp3");
    quelmo::test::writeFile(words, "these are words, not sound");
    deck.model->tracks()->addImportFiles({QUrl::fromLocalFile(words)});
    QTRY_COMPARE_WITH_TIMEOUT(all(deck.scene, "trackName").size(), 1, 5000);
    deck.scene.click("Play words");
    QTRY_COMPARE_WITH_TIMEOUT(all(deck.scene, "trackError").size(), 1, 3000);
    EXPECT_TRUE(all(deck.scene, "trackError").value(0)->property("text").toString().startsWith("Cannot play: "));
    EXPECT_TRUE(all(deck.scene, "trackTime").isEmpty()) << "the reason takes the time's place";
    EXPECT_TRUE(deck.scene.isShown("Play words")) << "it does not claim to play";
}

// Names and lines from outside (a file's name, a MIDI port's, yt-dlp's error) are shown as written:
// markup in them is neither obeyed nor fetched. (A file name holds no slash: no closing tags there.)
TEST(TracksView, NamesFromOutsideShowAsWrittenNotAsMarkup) {
    const auto expectShownAsWritten = [](QQuickItem* item, const QString& text) {
        ASSERT_TRUE(item);
        EXPECT_EQ(item->property("text").toString(), text);
        EXPECT_EQ(item->property("textFormat").toInt(), Qt::PlainText) << "no markup is read, no image loaded";
        // Laid out character for character, "<b>" and all, not as one bold x and a picture.
        const QFontMetricsF metrics(item->property("font").value<QFont>());
        EXPECT_NEAR(item->implicitWidth(), metrics.horizontalAdvance(text), 2.0) << text.toStdString();
    };
    QTemporaryDir music;
    quelmo::test::writeProgram(music.filePath("yt-dlp")); // the download form shows
    quelmo::test::ScopedEnv probes("QUELMO_YTDLP_PROBE_PATHS", music.filePath("yt-dlp").toStdString());
    Deck deck;
    const QString name = R"(<b>x<img src="http:127.0.0.1:9">)";
    deck.model->tracks()->addImportFiles({QUrl::fromLocalFile(writeTone(music.path(), name, 440.0))});
    QTRY_COMPARE_WITH_TIMEOUT(all(deck.scene, "trackName").size(), 1, 5000);
    expectShownAsWritten(all(deck.scene, "trackName").value(0), name);

    deck.model->midi()->midiPads().portAppeared(0x1800, QStringLiteral("<i>pad</i><img src=\"http://127.0.0.1:9/x\">"));
    QTRY_VERIFY(textOf(deck.scene.root(), "midiDevicesText").contains("<i>pad</i>"));
    expectShownAsWritten(all(deck.scene, "midiDevicesText").value(0), R"(DEVICES  <i>pad</i><img src="http://127.0.0.1:9/x">)");

    const QString error = QStringLiteral(u"❌ ERROR: <a href=\"x\">unavailable</a><img src=\"http://127.0.0.1:9/y\">");
    deck.model->downloads()->setDownloadStatus(error);
    expectShownAsWritten(all(deck.scene, "downloadStatus").value(0), error);
}

// Without yt-dlp the YouTube block teaches how to get it; once it is found, the form appears, and
// DOWNLOAD waits for an address. The install alert copies the command a user pastes in a terminal.
TEST(TracksView, YoutubeBlockFollowsTheYtdlpCheckAndTheInstallAlertCopiesTheCommand) {
    QTemporaryDir tools;
    const QString ytdlp = tools.filePath("yt-dlp");
    quelmo::test::ScopedEnv probes("QUELMO_YTDLP_PROBE_PATHS", ytdlp.toStdString());
    Deck deck;
    auto& model = *deck.model;
    EXPECT_TRUE(deck.scene.isShown("yt-dlp not installed"));
    EXPECT_TRUE(deck.scene.isShown("Copy Install Command"));
    EXPECT_FALSE(deck.scene.isShown("YouTube URL"));

    quelmo::test::writeProgram(ytdlp); // appears, as after an install in a terminal
    model.downloads()->refreshYtdlpCheck();               // what the window does when it becomes active again
    EXPECT_TRUE(deck.scene.isShown("yt-dlp installed"));
    EXPECT_FALSE(deck.scene.isShown("Copy Install Command"));
    deck.scene.click("DOWNLOAD");
    EXPECT_EQ(model.downloads()->downloadStatus(), "") << "DOWNLOAD does nothing without an address";
    deck.scene.click("YouTube URL");
    for (const char c : std::string("https://vimeo.com/1")) {
        QTest::keyClick(&deck.scene.window(), c);
    }
    EXPECT_EQ(model.downloads()->youtubeURL(), "https://vimeo.com/1");
    deck.scene.click("DOWNLOAD");
    EXPECT_TRUE(deck.scene.isShown("Invalid YouTube URL"));

    model.downloads()->setShowYTDLPInstallAlert(true);
    ASSERT_TRUE(deck.scene.isShown("Install yt-dlp Required"));
    EXPECT_TRUE(deck.scene.isShown("Auto-Install"));
    deck.scene.click("Copy Command");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "sudo apt install yt-dlp ffmpeg");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !model.downloads()->showYTDLPInstallAlert(); }));
}

// A row restored from the library appears at once and draws its overview when the background
// analysis brings it.
TEST(TracksView, ARestoredRowDrawsItsOverviewWhenItArrives) {
    QTemporaryDir documents;
    const QString folder = documents.filePath("Quelmo Downloads");
    quelmo::test::writeFile(folder + "/downloads.json",
                            R"([{"id": "A", "name": "restored", "filename": "restored.wav"}])");
    writeTone(folder, "restored", 440.0);
    auto model = offlineModel(documents.path());
    Scene scene{QStringLiteral("QuelmoDeckView.qml"), {{QStringLiteral("model"), QVariant::fromValue<QObject*>(model.get())}},
                QSize(1100, 3400)};
    ASSERT_TRUE(QTest::qWaitFor([&] { return all(scene, "trackOverview").size() == 1; }, 5000));
    QQuickItem* overview = all(scene, "trackOverview").first();
    const QRect area = overview->mapRectToScene(QRectF(0, 0, overview->width(), overview->height())).toRect();
    int lit = 0;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        const QImage image = scene.window().grabWindow().copy(area);
        lit = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                lit += qGray(image.pixel(x, y)) > 60 ? 1 : 0;
            }
        }
        return lit > image.width(); // a full-length level of bars, not an empty strip
    }, 5000)) << lit << " lit pixels";
}
