#include "downloads/DownloadManifest.h"
#include "support/LibraryDeck.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using namespace quelmo;
using namespace quelmo::downloads;
using namespace quelmo::test;

using Deck = LibraryDeck;

// Whole ISO dates and seconds since 2001 are read (and written back) by the deck's restore below.
TEST(DownloadManifest, ReadsEveryDateFormSkipsDamagedEntriesAndRejectsOnlyAWrongShape) {
    const auto read = decodeManifest(manifestOf(R"(
        {"id": "A", "name": "frac", "filename": "a.mp3", "dateAdded": "2026-12-04T17:12:48.250Z"},
        {"id": "D", "name": "missing", "filename": "d.mp3", "extra": true},
        {"id": "E", "name": "garbage", "filename": "e.mp3", "dateAdded": "yesterday"},
        {"id": "F", "name": "object", "filename": "f.mp3", "dateAdded": {}})"),
                                     now);
    ASSERT_TRUE(read);
    ASSERT_EQ(read->size(), 4);
    EXPECT_EQ((*read)[0].dateAdded, QDateTime(QDate(2026, 12, 4), QTime(17, 12, 48, 250), QTimeZone::utc()));
    for (int i : {1, 2, 3}) {
        EXPECT_EQ((*read)[i].dateAdded, now) << i;
    }

    // A damaged entry is passed over with its reason; the good ones around it stay.
    QStringList skipped;
    const auto damaged = decodeManifest(manifestOf(R"(
        {"id": "A", "name": "no file"}, 7, {"id": "B", "name": "good", "filename": "b.flac"},
        {"id": 1, "name": "n", "filename": "c.wav"}, {"id": "D", "name": "good", "filename": "d.wav"})"),
                                        now, nullptr, &skipped);
    ASSERT_TRUE(damaged);
    EXPECT_EQ(*damaged, (QList<DownloadedTrackInfo>{{"B", "good", "b.flac", now}, {"D", "good", "d.wav", now}}));
    EXPECT_EQ(skipped, (QStringList{R"(entry 0 has no string "filename")", "entry 1 is not an object",
                                    R"(entry 3 has no string "id")"}));

    QString error;
    EXPECT_FALSE(decodeManifest(R"({"not": "an array"})", now, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(decodeManifest("[{", now));
    EXPECT_FALSE(decodeManifest("", now));
    EXPECT_TRUE(decodeManifest("[]", now).value().isEmpty());
}

TEST(DownloadManifest, NamesThatLeaveTheFolderAreNeitherReadNorWritten) {
    const auto read = decodeManifest(manifestOf(R"(
        {"id": "A", "name": "a", "filename": "../../.ssh/id_rsa"},
        {"id": "B", "name": "b", "filename": "/etc/passwd"},
        {"id": "C", "name": "c", "filename": "sub\\dir.mp3"},
        {"id": "D", "name": "d", "filename": ".."},
        {"id": "E", "name": "e", "filename": "..fine.mp3"})"),
                                     now);
    ASSERT_TRUE(read);
    ASSERT_EQ(read->size(), 1);
    EXPECT_EQ(read->first().filename, "..fine.mp3");

    const QByteArray written = encodeManifest({{"A", "a", "../escape.mp3", now}, {"B", "b", "ok.mp3", now}});
    const auto back = decodeManifest(written, QDateTime());
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, (QList<DownloadedTrackInfo>{{"B", "b", "ok.mp3", now}}));
    EXPECT_TRUE(written.contains("\"dateAdded\": \"2026-12-07T09:30:00Z\"")) << written.toStdString();
}

TEST(DownloadsLibrary, RestoresListedFilesScansMp3sAndRewritesTheManifest) {
    Deck deck;
    writeFile(deck.folder + "/listed.m4a", "x");
    writeFile(deck.folder + "/unlisted.m4a", "x");
    writeFile(deck.folder + "/Loud.MP3", "x");
    writeFile(deck.folder + "/gone-too.txt", "x");
    writeFile(deck.documents.filePath("secret.mp3"), "x");
    writeFile(deck.manifest, manifestOf(R"(
        {"id": "11111111-1111-1111-1111-111111111111", "name": "Old", "filename": "listed.m4a", "dateAdded": 0},
        {"id": "22222222-2222-2222-2222-222222222222", "name": "Gone", "filename": "missing.mp3"},
        {"id": "33333333-3333-3333-3333-333333333333", "name": "Escape", "filename": "../secret.mp3"})"));
    deck.start();
    auto& m = *deck.model;

    EXPECT_EQ(deck.names(), (QStringList{"listed.m4a", "Loud.MP3"}));
    EXPECT_EQ(m.tracks()->importedTracks().first().name, "listed");
    EXPECT_NE(m.tracks()->importedTracks().first().idString(), "11111111-1111-1111-1111-111111111111");
    EXPECT_EQ(m.tracks()->selectedImportId(), m.tracks()->importedTracks().first().id);
    EXPECT_EQ(manifestFilenames(deck.manifest), (QStringList{"listed.m4a", "Loud.MP3"}));

    // Removing the entry of ../secret.mp3's look-alike never reaches outside: it was never listed.
    m.tracks()->removeImport(m.tracks()->importedTracks().first().id);
    EXPECT_TRUE(QFile::exists(deck.documents.filePath("secret.mp3")));
    EXPECT_FALSE(QFile::exists(deck.folder + "/listed.m4a"));
    EXPECT_EQ(manifestFilenames(deck.manifest), (QStringList{"Loud.MP3"}));
}

TEST(DownloadsLibrary, ADamagedEntryCostsOnlyItselfAndEntriesKeepTheDateTheyWereFirstListed) {
    Deck deck;
    for (const char* name : {"a.m4a", "b.flac", "c.wav", "d.mp3", "e.mp3"}) {
        writeFile(deck.folder + '/' + name, "x");
    }
    writeFile(deck.manifest, manifestOf(R"(
        {"id": "1", "name": "a", "filename": "a.m4a", "dateAdded": "2025-03-01T10:00:00Z"},
        {"id": "2", "name": "b", "filename": "b.flac", "dateAdded": 60},
        {"id": "3", "name": "hand edit", "filename": ["c.wav"]},
        {"id": "4", "name": "c", "filename": "c.wav", "dateAdded": "2025-03-02T11:30:00.5Z"},
        {"id": "5", "name": "d", "filename": "d.mp3"})"));
    deck.clock = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), QTimeZone::utc());
    ScopedLogCapture log;
    deck.start();

    EXPECT_EQ(deck.names(), (QStringList{"a.m4a", "b.flac", "c.wav", "d.mp3", "e.mp3"}));
    EXPECT_EQ(manifestLines(log), std::vector<QString>{R"(Skipped a damaged downloads manifest entry: entry 2 has no string "filename")"});
    EXPECT_TRUE(QDir(deck.folder).entryList({"downloads.json.*"}).isEmpty()) << "nothing was rejected as a whole";
    // Listed dates stay; an entry without one and the MP3 the scan found are dated now.
    const QStringList dates{"a.m4a 2025-03-01T10:00:00Z", "b.flac 2001-01-01T00:01:00Z", "c.wav 2025-03-02T11:30:00Z",
                            "d.mp3 2026-01-02T03:04:05Z", "e.mp3 2026-01-02T03:04:05Z"};
    EXPECT_EQ(manifestDates(deck.manifest), dates);

    // Later saves, in this run and the next, write the same dates.
    const QByteArray saved = readFile(deck.manifest);
    deck.clock = deck.clock.addDays(1);
    deck.model->tracks()->removeImport(QUuid::createUuid()); // a removal of nothing still saves
    EXPECT_EQ(readFile(deck.manifest), saved);
    deck.clock = deck.clock.addDays(1);
    deck.start();
    EXPECT_EQ(manifestDates(deck.manifest), dates);
}

TEST(DownloadsLibrary, AManifestRejectedAsAWholeIsKeptAsideAndNoKeptCopyIsOverwritten) {
    Deck deck;
    writeFile(deck.folder + "/a.mp3", "x");
    writeFile(deck.folder + "/b.m4a", "x");
    const QByteArray cutShort = R"([{"id": "1", "name": "b", "filename": "b.m4a", "dateA)";
    writeFile(deck.manifest, cutShort);
    ScopedLogCapture log;
    deck.start();
    EXPECT_EQ(deck.names(), QStringList{"a.mp3"}) << "only the scan lists what an unreadable manifest held";
    EXPECT_EQ(manifestFilenames(deck.manifest), QStringList{"a.mp3"});
    EXPECT_EQ(readFile(deck.manifest + ".bad"), cutShort);
    const auto lines = manifestLines(log);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].startsWith("Failed to load downloads manifest: ")) << lines[0].toStdString();
    EXPECT_EQ(lines[1], "Kept the rejected downloads manifest as downloads.json.bad");

    const QByteArray wrongShape = R"({"filename": "b.m4a"})";
    writeFile(deck.manifest, wrongShape);
    deck.start();
    writeFile(deck.manifest, "\xff\xfe garbage");
    deck.start();
    EXPECT_EQ(readFile(deck.manifest + ".bad"), cutShort);
    EXPECT_EQ(readFile(deck.manifest + ".bad.1"), wrongShape);
    EXPECT_EQ(readFile(deck.manifest + ".bad.2"), "\xff\xfe garbage");
    EXPECT_EQ(manifestFilenames(deck.manifest), QStringList{"a.mp3"});
}

TEST(DownloadsLibrary, AFailedWriteKeepsTheOldManifest) {
    Deck deck;
    writeFile(deck.folder + "/a.mp3", "x");
    deck.start();
    const QByteArray before = readFile(deck.manifest);
    ASSERT_FALSE(before.isEmpty());
    QList<QUrl> picks;
    for (int i = 0; i < 20; ++i) {
        const QString path = deck.documents.filePath(QString("Music/track %1 with a long name.mp3").arg(i));
        writeFile(path, "x");
        picks.append(QUrl::fromLocalFile(path));
    }
    deck.model->tracks()->addImportFiles(picks);
    ASSERT_TRUE(test::spinUntil([&] { return deck.model->tracks()->importedTracks().size() == 21; }));
    EXPECT_EQ(readFile(deck.manifest), before) << "picking files does not save";

    // The file-size limit makes the write fail even for root, as a full disk would.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit tight = old;
    tight.rlim_cur = static_cast<rlim_t>(before.size() + 64);
    setrlimit(RLIMIT_FSIZE, &tight);
    ScopedLogCapture log;
    deck.model->tracks()->removeImport(deck.model->tracks()->importedTracks().last().id); // a removal saves
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(readFile(deck.manifest), before);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_TRUE(log.lines().front().startsWith("Failed to save downloads manifest: ")) << log.lines().front().toStdString();
    EXPECT_EQ(QDir(deck.folder).entryList(QDir::Files | QDir::Hidden).filter("downloads.json").size(), 1)
        << "no temporary file is left behind";
}
