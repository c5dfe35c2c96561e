#include "deck/QuelmoViewModel.h"
#include "downloads/DownloadManifest.h"
#include "downloads/DownloadProgress.h"
#include "downloads/YoutubeDownload.h"
#include "engine/devices/OfflineDriver.h"
#include "support/EventLoop.h"
#include "util/Log.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using namespace quelmo;
using namespace quelmo::downloads;

namespace {

const QDateTime now = QDateTime(QDate(2026, 12, 7), QTime(9, 30), QTimeZone::utc());

QByteArray manifestOf(const QString& entriesJson) { return ("[" + entriesJson + "]").toUtf8(); }

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList manifestFilenames(const QString& path) {
    QStringList names;
    for (const auto& value : QJsonDocument::fromJson(readFile(path)).array()) {
        names.append(value.toObject().value("filename").toString());
    }
    return names;
}

// The log's lines about the manifest (the analyses of these files that are no audio log too).
std::vector<std::string> manifestLines(const ScopedLogCapture& log) {
    std::vector<std::string> out;
    for (const auto& line : log.lines()) {
        if (line.find("manifest") != std::string::npos) {
            out.push_back(line);
        }
    }
    return out;
}

// "filename dateAdded" of each entry, in order.
QStringList manifestDates(const QString& path) {
    QStringList dates;
    for (const auto& value : QJsonDocument::fromJson(readFile(path)).array()) {
        const QJsonObject entry = value.toObject();
        dates.append(entry.value("filename").toString() + ' ' + entry.value("dateAdded").toString());
    }
    return dates;
}

// A deck on a temporary Documents folder and a wall clock the test sets; it restores its library
// as it starts.
struct Deck {
    QTemporaryDir documents;
    QString folder = documents.filePath("Quelmo Downloads");
    QString manifest = folder + "/downloads.json";
    QDateTime clock = now;
    std::unique_ptr<QuelmoViewModel> model;

    void start() {
        model.reset(); // one deck at a time on the folder
        QuelmoViewModel::Dependencies deps;
        deps.documentsDir = documents.path();
        deps.makeAudioDriver = [] { return std::make_unique<engine::OfflineDriver>(); };
        deps.wallClock = [this] { return clock; };
        model = std::make_unique<QuelmoViewModel>(deps);
        test::spinFor(20); // the restore runs on the first turn of the event loop
    }
    QStringList names() const {
        QStringList out;
        for (const auto& t : model->importedTracks()) {
            out.append(QFileInfo(t.url.toLocalFile()).fileName());
        }
        return out;
    }
};

// A stand-in for yt-dlp: records its arguments, prints what the test asks, writes the output file
// under the template it was given (or not), and exits with the chosen status. The child's
// environment is fixed, so everything it needs is written into the script.
struct FakeYtdlp {
    QTemporaryDir dir;
    QString path = dir.filePath("yt-dlp");
    QString argsFile = dir.filePath("args");
    QString pidFile = dir.filePath("pid");

    // body runs after the arguments are recorded; $out is the template with its extension filled.
    void write(const QString& body) {
        const QString script = QString(R"(#!/bin/bash
printf '%s\n' "$@" > '%1'
echo $$ > '%2'
template=""
while [ $# -gt 0 ]; do
  if [ "$1" = "--output" ]; then template="$2"; fi
  shift
done
out="${template%%.%(ext)s}.mp3"
%3
)").arg(argsFile, pidFile, body);
        writeFile(path, script.toUtf8());
        QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
        qputenv("QUELMO_YTDLP_PROBE_PATHS", path.toUtf8());
    }
    QStringList args() const { return QString::fromUtf8(readFile(argsFile)).split('\n', Qt::SkipEmptyParts); }
    ~FakeYtdlp() { qunsetenv("QUELMO_YTDLP_PROBE_PATHS"); }
};

// Running, and not a zombie waiting for a parent to collect it.
bool isAlive(const QString& pid) {
    const QByteArray stat = readFile("/proc/" + pid + "/stat");
    const qsizetype close = stat.lastIndexOf(')');
    return close > 0 && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

bool downloadEnded(QuelmoViewModel& m) { return test::spinUntil([&] { return !m.isDownloading(); }, 15000); }

} // namespace

TEST(DownloadManifest, ReadsEveryDateFormSkipsDamagedEntriesAndRejectsOnlyAWrongShape) {
    const auto read = decodeManifest(manifestOf(R"(
        {"id": "A", "name": "frac", "filename": "a.mp3", "dateAdded": "2026-12-04T17:12:48.250Z"},
        {"id": "B", "name": "whole", "filename": "b.mp3", "dateAdded": "2026-12-04T17:12:48Z"},
        {"id": "C", "name": "number", "filename": "c.mp3", "dateAdded": 60},
        {"id": "D", "name": "missing", "filename": "d.mp3", "extra": true},
        {"id": "E", "name": "garbage", "filename": "e.mp3", "dateAdded": "yesterday"},
        {"id": "F", "name": "object", "filename": "f.mp3", "dateAdded": {}})"),
                                     now);
    ASSERT_TRUE(read);
    ASSERT_EQ(read->size(), 6);
    const QDateTime whole(QDate(2026, 12, 4), QTime(17, 12, 48), QTimeZone::utc());
    EXPECT_EQ((*read)[0].dateAdded, whole.addMSecs(250));
    EXPECT_EQ((*read)[1].dateAdded, whole);
    EXPECT_EQ((*read)[2].dateAdded, QDateTime(QDate(2001, 1, 1), QTime(0, 1), QTimeZone::utc()));
    for (int i : {3, 4, 5}) {
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

TEST(DownloadProgressLines, BandsStatusesFailureMessagesAndNames) {
    struct Case {
        const char* line;
        std::optional<DownloadProgress> expected;
    };
    const Case cases[] = {
        {"[download]  42.7% of 3.50MiB at 1.20MiB/s ETA 00:02", DownloadProgress{0.2 + 0.427 * 0.7, u8"⬇️ Downloading: 42%"}},
        {"[download] 100% of 3.50MiB", DownloadProgress{0.9, u8"⬇️ Downloading: 100%"}},
        {"[download]   0.0% of ~ 2.00MiB", DownloadProgress{0.2, u8"⬇️ Downloading: 0%"}},
        {"[download] 250% destination", std::nullopt},
        {"[download] Destination: /x/ytdl_1.webm", DownloadProgress{0.92, u8"🎵 Converting to MP3..."}},
        {"[ExtractAudio] CONVERTING audio", DownloadProgress{0.92, u8"🎵 Converting to MP3..."}},
        {"[youtube] abc: Downloading webpage", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto got = interpretProgressLine(QString::fromUtf8(c.line));
        ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.line;
        if (got) {
            EXPECT_NEAR(got->progress, c.expected->progress, 1e-12) << c.line;
            EXPECT_EQ(got->status, c.expected->status) << c.line;
        }
    }

    EXPECT_EQ(failureMessage("WARNING: slow\nERROR: Video unavailable\n\n", 1), "ERROR: Video unavailable");
    EXPECT_EQ(failureMessage("first error here\nsomething else\n", 1), "first error here");
    EXPECT_EQ(failureMessage("just this\n  \t\n", 1), "just this");
    EXPECT_EQ(failureMessage("", 2), "yt-dlp exited with code 2");

    EXPECT_EQ(downloadDisplayName("ytdl_3F2A9C1B.mp3", "ytdl_3F2A9C1B"), "YouTube Track");
    EXPECT_EQ(downloadDisplayName("Song ytdl_3F2A9C1B.x.mp3", "ytdl_3F2A9C1B"), "Song x");
    EXPECT_EQ(downloadDisplayName("Live Set.mp3", "ytdl_3F2A9C1B"), "Live Set");
}

TEST(DownloadProgressLines, OnlyYoutubeWebAddressesAreAccepted) {
    for (const char* good : {"https://www.youtube.com/watch?v=abc", "  https://youtu.be/abc \n",
                             "http://m.youtube.com/watch?v=abc", "https://music.youtube.com/watch?v=abc",
                             "https://youtube.com/shorts/abc"}) {
        const auto accepted = acceptedYoutubeAddress(good);
        ASSERT_TRUE(accepted) << good;
        EXPECT_EQ(*accepted, QString(good).trimmed());
    }
    for (const char* bad : {"--exec=touch /tmp/pwned youtube.com", "-o/elsewhere youtube.com", "youtube.com/watch?v=abc",
                            "https://evil.example/?q=youtube.com", "https://youtube.com.evil.example/watch",
                            "https://notyoutube.com/watch", "ftp://youtube.com/x", "https://vimeo.com/123",
                            "https://user@youtube.com/watch", "   "}) {
        EXPECT_FALSE(acceptedYoutubeAddress(bad)) << bad;
    }
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
    EXPECT_EQ(m.importedTracks().first().name, "listed");
    EXPECT_NE(m.importedTracks().first().idString(), "11111111-1111-1111-1111-111111111111");
    EXPECT_EQ(m.selectedImportId(), m.importedTracks().first().id);
    EXPECT_EQ(manifestFilenames(deck.manifest), (QStringList{"listed.m4a", "Loud.MP3"}));

    // Removing the entry of ../secret.mp3's look-alike never reaches outside: it was never listed.
    m.removeImport(m.importedTracks().first().id);
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
    EXPECT_EQ(manifestLines(log), std::vector<std::string>{R"(Skipped a damaged downloads manifest entry: entry 2 has no string "filename")"});
    EXPECT_TRUE(QDir(deck.folder).entryList({"downloads.json.*"}).isEmpty()) << "nothing was rejected as a whole";
    // Listed dates stay; an entry without one and the MP3 the scan found are dated now.
    const QStringList dates{"a.m4a 2025-03-01T10:00:00Z", "b.flac 2001-01-01T00:01:00Z", "c.wav 2025-03-02T11:30:00Z",
                            "d.mp3 2026-01-02T03:04:05Z", "e.mp3 2026-01-02T03:04:05Z"};
    EXPECT_EQ(manifestDates(deck.manifest), dates);

    // Later saves, in this run and the next, write the same dates.
    const QByteArray saved = readFile(deck.manifest);
    deck.clock = deck.clock.addDays(1);
    deck.model->removeImport(QUuid::createUuid()); // a removal of nothing still saves
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
    EXPECT_EQ(lines[0].rfind("Failed to load downloads manifest: ", 0), 0u) << lines[0];
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
    deck.model->addImportFiles(picks);
    ASSERT_TRUE(test::spinUntil([&] { return deck.model->importedTracks().size() == 21; }));
    EXPECT_EQ(readFile(deck.manifest), before) << "picking files does not save";

    // The file-size limit makes the write fail even for root, as a full disk would.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit tight = old;
    tight.rlim_cur = static_cast<rlim_t>(before.size() + 64);
    setrlimit(RLIMIT_FSIZE, &tight);
    ScopedLogCapture log;
    deck.model->removeImport(deck.model->importedTracks().last().id); // a removal saves
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(readFile(deck.manifest), before);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines().front().rfind("Failed to save downloads manifest: ", 0), 0u) << log.lines().front();
    EXPECT_EQ(QDir(deck.folder).entryList(QDir::Files | QDir::Hidden).filter("downloads.json").size(), 1)
        << "no temporary file is left behind";
}

TEST(YoutubeDownloads, AFakeYtdlpRunsWithTheExactArgumentsAndItsFileJoinsTheListSelected) {
    Deck deck;
    deck.start();
    auto& m = *deck.model;
    FakeYtdlp fake;
    fake.write(R"(echo "[youtube] abc: Downloading webpage"
echo "[download] Destination: ${out%.mp3}.webm"
sleep 0.2
echo "[download]  42.7% of 3.50MiB at 1.20MiB/s ETA 00:02"
sleep 0.2
echo "[download] 100% of 3.50MiB"
echo "[ExtractAudio] Destination: $out"
printf 'ID3 fake' > "$out"
echo "WARNING: a warning that changes nothing" >&2
exit 0)");
    QList<double> progress;
    QObject::connect(&m, &QuelmoViewModel::downloadProgressChanged, [&] { progress.append(m.downloadProgress()); });
    QStringList statuses;
    QObject::connect(&m, &QuelmoViewModel::downloadStatusChanged, [&] { statuses.append(m.downloadStatus()); });

    m.setYoutubeURL("  https://youtu.be/abc  ");
    m.downloadYouTubeAudio();
    EXPECT_TRUE(m.isDownloading());
    m.downloadYouTubeAudio(); // a second press while one runs starts nothing
    ASSERT_TRUE(downloadEnded(m));

    const QStringList args = fake.args();
    ASSERT_EQ(args.size(), 13) << args.join(' ').toStdString();
    EXPECT_EQ(args.mid(0, 6), (QStringList{"--extract-audio", "--audio-format", "mp3", "--audio-quality", "0", "--output"}));
    EXPECT_TRUE(args[6].startsWith(deck.folder + "/ytdl_")) << args[6].toStdString();
    EXPECT_TRUE(args[6].endsWith(".%(ext)s"));
    EXPECT_EQ(args.mid(7), (QStringList{"--no-playlist", "--progress", "--newline", "--no-part", "--", "https://youtu.be/abc"}));

    EXPECT_EQ(m.downloadStatus(), u8"✅ Download complete!");
    EXPECT_EQ(m.youtubeURL(), "");
    ASSERT_EQ(m.importedTracks().size(), 1);
    const auto& track = m.importedTracks().first();
    EXPECT_EQ(track.name, "YouTube Track");
    EXPECT_EQ(m.selectedImportId(), track.id);
    const QString file = QFileInfo(track.url.toLocalFile()).fileName();
    EXPECT_TRUE(file.startsWith("ytdl_") && file.endsWith(".mp3")) << file.toStdString();
    EXPECT_EQ(manifestFilenames(deck.manifest), QStringList{file});
    const QList<double> expected{0.1, 0.2, 0.92, 0.2 + 0.427 * 0.7, 0.9, 0.92, 1.0};
    ASSERT_EQ(progress.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(progress[i], expected[i], 1e-12) << i;
    }
    EXPECT_TRUE(statuses.contains(u8"⬇️ Downloading: 42%"));
}

TEST(YoutubeDownloads, FailuresReportTheirReasonAndChangeNothingInTheList) {
    Deck deck;
    writeFile(deck.folder + "/older.mp3", "x");
    deck.start();
    auto& m = *deck.model;
    ASSERT_EQ(m.importedTracks().size(), 1);
    FakeYtdlp fake;
    const auto run = [&](const QString& body) {
        fake.write(body);
        m.setYoutubeURL("https://www.youtube.com/watch?v=abc");
        m.downloadYouTubeAudio();
        EXPECT_TRUE(downloadEnded(m));
        EXPECT_EQ(m.downloadProgress(), 0.0);
        EXPECT_EQ(m.importedTracks().size(), 1);
        return m.downloadStatus();
    };
    ScopedLogCapture log;
    EXPECT_EQ(run("echo 'WARNING: slow' >&2; echo 'ERROR: Video unavailable' >&2; exit 1"), u8"❌ ERROR: Video unavailable");
    EXPECT_EQ(run("exit 2"), u8"❌ yt-dlp exited with code 2");
    // Of a long standard error the end is kept, where yt-dlp says what went wrong; 64 KiB from the
    // end falls inside a three-byte character.
    EXPECT_EQ(run(u8R"(yes € | tr -d '\n' | head -c 99999 >&2; echo >&2
echo 'ERROR: [youtube] abc: Sign in to confirm you’re not a bot.' >&2; exit 1)"),
              u8"❌ ERROR: [youtube] abc: Sign in to confirm you’re not a bot.");
    // Success without a file of its own: the older MP3 of the folder is not taken for it.
    EXPECT_EQ(run("exit 0"), u8"❌ Download finished but file not found. Check that ffmpeg is installed.");
    EXPECT_NE(std::find(log.lines().begin(), log.lines().end(), "yt-dlp failed (exit 1): ERROR: Video unavailable"),
              log.lines().end());

    // Addresses that would be read as options never reach a process.
    QFile::remove(fake.argsFile);
    for (const char* bad : {"--exec=touch /tmp/pwned youtube.com", "-o/elsewhere youtube.com"}) {
        m.setYoutubeURL(bad);
        m.downloadYouTubeAudio();
        EXPECT_EQ(m.downloadStatus(), "Invalid YouTube URL");
        EXPECT_FALSE(m.isDownloading());
    }
    m.setYoutubeURL("");
    m.downloadYouTubeAudio();
    EXPECT_EQ(m.downloadStatus(), "Please enter a URL");
    test::spinFor(100);
    EXPECT_FALSE(QFile::exists(fake.argsFile));

    qputenv("QUELMO_YTDLP_PROBE_PATHS", fake.dir.filePath("absent").toUtf8());
    m.setYoutubeURL("https://youtu.be/abc");
    m.downloadYouTubeAudio();
    EXPECT_EQ(m.downloadStatus(), u8"❌ yt-dlp not installed - Click INSTALL below");
    EXPECT_TRUE(m.showYTDLPInstallAlert());
}

TEST(YoutubeDownloads, CancelEndsYtdlpAndItsChildrenAndRemovesTheirFiles) {
    Deck deck;
    deck.start();
    auto& m = *deck.model;
    FakeYtdlp fake;
    // A converter-like child that keeps writing, and a parent that ignores the polite request.
    fake.write(QString(R"(trap '' TERM
echo "[download]  10.0% of 3.50MiB"
( while true; do echo x >> "${out%%.mp3}.webm"; sleep 0.05; done ) &
echo $! > '%1'
wait)").arg(fake.dir.filePath("child")));
    m.setYoutubeURL("https://youtu.be/abc");
    m.downloadYouTubeAudio();
    ASSERT_TRUE(test::spinUntil([&] { return m.downloadStatus() == u8"⬇️ Downloading: 10%"; }, 10000));
    ASSERT_TRUE(test::spinUntil([&] { return !QDir(deck.folder).entryList({"ytdl_*"}).isEmpty(); }, 5000));
    m.cancelDownload();
    ASSERT_TRUE(downloadEnded(m));
    EXPECT_EQ(m.downloadStatus(), "Download cancelled");
    EXPECT_TRUE(m.importedTracks().isEmpty());
    test::spinFor(200);
    EXPECT_TRUE(QDir(deck.folder).entryList({"ytdl_*"}).isEmpty());
    for (const QString& pidFile : {fake.pidFile, fake.dir.filePath("child")}) {
        const QString pid = QString::fromUtf8(readFile(pidFile)).trimmed();
        ASSERT_FALSE(pid.isEmpty());
        EXPECT_FALSE(isAlive(pid)) << "process " << pid.toStdString() << " still runs";
    }

    // Quitting during a download leaves nothing behind either.
    m.setYoutubeURL("https://youtu.be/abc");
    m.downloadYouTubeAudio();
    ASSERT_TRUE(test::spinUntil([&] { return m.downloadStatus() == u8"⬇️ Downloading: 10%"; }, 10000));
    const QString pid = QString::fromUtf8(readFile(fake.pidFile)).trimmed();
    deck.model.reset();
    EXPECT_FALSE(isAlive(pid));
    EXPECT_TRUE(QDir(deck.folder).entryList({"ytdl_*"}).isEmpty());
}

TEST(YoutubeDownloads, OutputWithoutLineEndsIsHeldToItsLatest64KiBOfWholeCharacters) {
    QTemporaryDir folder;
    FakeYtdlp fake;
    const QString go = fake.dir.filePath("go");
    // 3 MB of three-byte characters; the line ends when the test says so.
    fake.write(QString(R"(yes € | tr -d '\n' | head -c 3000000
printf '<end>'
until [ -e '%1' ]; do sleep 0.05; done
printf ' and the rest\n')").arg(go));
    YoutubeDownload download(fake.path, "https://youtu.be/abc", folder.path());
    QStringList lines;
    QObject::connect(&download, &YoutubeDownload::outputLine, [&](const QString& line) { lines.append(line); });
    bool ended = false;
    QObject::connect(&download, &YoutubeDownload::finished, [&] { ended = true; });
    download.start();

    ASSERT_TRUE(test::spinUntil([&] { return download.unfinishedOutputLine().endsWith("<end>"); }, 20000));
    const QByteArray held = download.unfinishedOutputLine();
    EXPECT_LE(held.size(), 64 * 1024);
    EXPECT_GT(held.size(), 64 * 1024 - 3);
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(held);
    EXPECT_FALSE(decoder.hasError()) << "the held part starts on a whole character";
    EXPECT_TRUE(text.startsWith(u8"€€€"));

    writeFile(go, "");
    ASSERT_TRUE(test::spinUntil([&] { return ended; }, 15000));
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].endsWith(u8"€€<end> and the rest")) << lines[0].right(40).toStdString();
    EXPECT_LE(lines[0].toUtf8().size(), 64 * 1024 + 64) << "the line is its latest part only";
}
