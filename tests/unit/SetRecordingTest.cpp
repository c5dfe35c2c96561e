#include "recording/SetRecording.h"

#include "recording/RecordingController.h"

#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "engine/devices/OfflineDriver.h"
#include "engine/file/AudioFile.h"
#include "support/EventLoop.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cmath>

using quelmo::SetRecording;
using namespace quelmo::engine;

namespace {

// An engine rendering a steady tone into memory when the test asks.
struct ToneDeck {
    OfflineDriver* driver = nullptr;
    std::unique_ptr<AudioEngine> engine;

    ToneDeck() {
        auto offline = std::make_unique<OfflineDriver>();
        driver = offline.get();
        engine = std::make_unique<AudioEngine>(std::move(offline));
        engine->start();
        auto player = std::make_shared<PlayerNode>();
        engine->attach(player);
        engine->connect(player, engine->mainMixer());
        auto tone = AudioBuffer::create(*AudioFormat::standard(44100.0, 2), 441000);
        tone->setFrameLength(441000);
        for (std::uint32_t c = 0; c < 2; ++c) {
            for (std::uint32_t i = 0; i < 441000; ++i) {
                tone->channel(c)[i] = 0.5f * static_cast<float>(std::sin(i * 0.05));
            }
        }
        player->scheduleBuffer(tone);
        player->play();
    }

    void render(std::uint32_t frames) {
        driver->renderFrames(frames, 512);
        engine->dispatchEvents();
    }
};

std::int64_t framesIn(const QString& path) {
    std::string error;
    auto file = AudioFile::open(QFile::encodeName(path).toStdString(), &error);
    return file ? file->length() : -1;
}

} // namespace

TEST(SetRecording, RecordsTheOutputToADatedFileAndReportsItsProgress) {
    EXPECT_EQ(SetRecording::recordingText(12.7, 1'400'000), QStringLiteral("● REC 00:12 · 1.4 MB"));
    EXPECT_EQ(SetRecording::recordingText(4000.0, 2'345'000'000), QStringLiteral("● REC 1:06:40 · 2.3 GB"));

    QTemporaryDir scratch;
    ToneDeck deck;
    SetRecording recording(*deck.engine);
    recording.setFolder(scratch.filePath(QStringLiteral("Music/Sets"))); // made on start
    recording.setClock([] { return QDateTime(QDate(2026, 12, 7), QTime(16, 5, 31)); });
    int changes = 0;
    QObject::connect(&recording, &SetRecording::recordingChanged, [&] { ++changes; });

    ASSERT_TRUE(recording.start()) << recording.statusText().toStdString();
    EXPECT_TRUE(recording.isRecording());
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(recording.filePath(),
              scratch.filePath(QStringLiteral("Music/Sets/Quelmo Set 2026-12-07 16-05-31.flac")));

    deck.render(110250); // 2.5 s
    ASSERT_TRUE(quelmo::test::spinUntil([&] {
        return recording.statusText().startsWith(QStringLiteral("● REC 00:02 · 0."));
    })) << recording.statusText().toStdString();
    EXPECT_NEAR(recording.elapsedSeconds(), 2.5, 1e-9);

    recording.stop();
    EXPECT_FALSE(recording.isRecording());
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(recording.statusText(), QStringLiteral("Saved Quelmo Set 2026-12-07 16-05-31.flac"));
    EXPECT_EQ(framesIn(recording.filePath()), 110250);
    EXPECT_EQ(recording.fileSize(), QFileInfo(recording.filePath()).size());
    EXPECT_EQ(recording.droppedFrames(), 0);

    // More sets in the same second: as WAV, then as FLAC again, which must not overwrite the first.
    deck.render(1000); // between sets: in no file
    recording.setFormat(SetRecording::Format::Wav);
    ASSERT_TRUE(recording.start());
    deck.render(4410);
    recording.stop();
    EXPECT_EQ(recording.statusText(), QStringLiteral("Saved Quelmo Set 2026-12-07 16-05-31.wav"));
    EXPECT_EQ(framesIn(recording.filePath()), 4410);
    EXPECT_EQ(recording.fileSize(), QFileInfo(recording.filePath()).size());
    recording.setFormat(SetRecording::Format::Flac);
    ASSERT_TRUE(recording.start());
    deck.render(441);
    recording.stop();
    EXPECT_EQ(recording.statusText(), QStringLiteral("Saved Quelmo Set 2026-12-07 16-05-31 (2).flac"));
    EXPECT_EQ(framesIn(recording.filePath()), 441);
    EXPECT_EQ(framesIn(scratch.filePath(QStringLiteral("Music/Sets/Quelmo Set 2026-12-07 16-05-31.flac"))),
              110250);

    // A link planted under the next name, pointing where nothing is yet, would have the recording
    // create (or, pointing at a file, overwrite) whatever it names: the name counts as taken and
    // nothing is written through the link.
    const QString elsewhere = scratch.filePath(QStringLiteral("written through a link.flac"));
    ASSERT_TRUE(QFile::link(elsewhere, scratch.filePath(QStringLiteral("Music/Sets/Quelmo Set 2026-12-07 16-05-31 (3).flac"))));
    ASSERT_TRUE(recording.start());
    deck.render(441);
    recording.stop();
    EXPECT_EQ(recording.statusText(), QStringLiteral("Saved Quelmo Set 2026-12-07 16-05-31 (4).flac"));
    EXPECT_FALSE(QFileInfo::exists(elsewhere));
}

// The REC button and the WAV switch as the views drive them.
TEST(RecordingController, TogglesRecordingInTheChosenFormatAndSavesOnTheWayOut) {
    QTemporaryDir scratch;
    ToneDeck deck;
    int outputPrepared = 0;
    auto controller = std::make_unique<quelmo::RecordingController>(
        *deck.engine, [&] { ++outputPrepared; }, scratch.path());
    controller->recording().setClock([] { return QDateTime(QDate(2026, 12, 7), QTime(16, 5, 31)); });
    int recordingChanges = 0;
    int statusChanges = 0;
    QObject::connect(controller.get(), &quelmo::RecordingController::isRecordingSetChanged, [&] { ++recordingChanges; });
    QObject::connect(controller.get(), &quelmo::RecordingController::recordingStatusChanged, [&] { ++statusChanges; });

    controller->setRecordAsWav(true);
    controller->toggleRecording();
    EXPECT_EQ(outputPrepared, 1) << "the output runs before recording starts";
    ASSERT_TRUE(controller->isRecordingSet());
    deck.render(4410);
    controller->toggleRecording();
    EXPECT_FALSE(controller->isRecordingSet());
    EXPECT_EQ(controller->recordingStatus(), QStringLiteral("Saved Quelmo Set 2026-12-07 16-05-31.wav"));
    EXPECT_EQ(recordingChanges, 2);
    EXPECT_GE(statusChanges, 2);

    // Going away mid-set (the deck's shutdown) completes the file.
    controller->setRecordAsWav(false);
    controller->toggleRecording();
    deck.render(441);
    const QString path = controller->recording().filePath();
    controller->stopIfRecording();
    controller.reset();
    EXPECT_TRUE(path.endsWith(QStringLiteral(".flac")));
    EXPECT_EQ(framesIn(path), 441);
}

TEST(SetRecording, SaysWhyItCouldNotRecord) {
    QTemporaryDir scratch;
    ToneDeck deck;
    SetRecording recording(*deck.engine);

    // The folder cannot be made: a file stands in its place.
    QFile blocker(scratch.filePath(QStringLiteral("Music")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    recording.setFolder(scratch.filePath(QStringLiteral("Music")));
    EXPECT_FALSE(recording.start());
    EXPECT_FALSE(recording.isRecording());
    EXPECT_EQ(recording.statusText(),
              QStringLiteral("Could not record: cannot create the folder ") + recording.folder());

    // The disk refuses more data mid-set (a file size limit stands in for a full disk): the
    // recording stops by itself and says why; the file holds what was written before.
    recording.setFolder(scratch.path());
    recording.setFormat(SetRecording::Format::Wav);
    ASSERT_TRUE(recording.start());
    rlimit previous{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit small = previous;
    small.rlim_cur = 100'000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    for (int i = 0; i < 10 && recording.isRecording(); ++i) {
        deck.render(8820);
        quelmo::test::spinUntil([&] { return !recording.isRecording(); }, 300);
    }
    ::setrlimit(RLIMIT_FSIZE, &previous);
    ::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(recording.isRecording());
    EXPECT_EQ(recording.statusText(),
              QStringLiteral("Could not record: cannot write to the file: File too large"));
    EXPECT_GT(framesIn(recording.filePath()), 0);
}
