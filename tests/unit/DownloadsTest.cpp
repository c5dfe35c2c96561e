#include "downloads/DownloadProgress.h"
#include "downloads/DownloadsController.h"
#include "downloads/YoutubeDownload.h"
#include "support/LibraryDeck.h"
#include "support/ScopedEnv.h"

#include <QStringDecoder>

#include <gtest/gtest.h>


using namespace quelmo;
using namespace quelmo::downloads;
using namespace quelmo::test;

using Deck = LibraryDeck;

namespace {

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
        writeProgram(path, script.toUtf8());
        probes.emplace("QUELMO_YTDLP_PROBE_PATHS", path.toStdString());
    }
    QStringList args() const { return QString::fromUtf8(readFile(argsFile)).split('\n', Qt::SkipEmptyParts); }
    std::optional<test::ScopedEnv> probes;
};

// Running, and not a zombie waiting for a parent to collect it.
bool isAlive(const QString& pid) {
    const QByteArray stat = readFile("/proc/" + pid + "/stat");
    const qsizetype close = stat.lastIndexOf(')');
    return close > 0 && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

bool downloadEnded(QuelmoViewModel& m) { return test::spinUntil([&] { return !m.downloads()->isDownloading(); }, 15000); }

} // namespace

// What a run's own lines, its failures and its file name become is followed through the deck with
// the stand-in yt-dlp below; here what that run does not print.
TEST(DownloadProgressLines, BandsStatusesFailureMessagesAndNames) {
    struct Case {
        const char* line;
        std::optional<DownloadProgress> expected;
    };
    const Case cases[] = {
        {"[download]   0.0% of ~ 2.00MiB", DownloadProgress{0.2, u8"⬇️ Downloading: 0%"}},
        {"[download] 250% destination", std::nullopt},
        {"[ExtractAudio] CONVERTING audio", DownloadProgress{0.92, u8"🎵 Converting to MP3..."}},
    };
    for (const auto& c : cases) {
        const auto got = interpretProgressLine(QString::fromUtf8(c.line));
        ASSERT_EQ(got.has_value(), c.expected.has_value()) << c.line;
        if (got) {
            EXPECT_NEAR(got->progress, c.expected->progress, 1e-12) << c.line;
            EXPECT_EQ(got->status, c.expected->status) << c.line;
        }
    }

    EXPECT_EQ(failureMessage("first error here\nsomething else\n", 1), "first error here");
    EXPECT_EQ(failureMessage("just this\n  \t\n", 1), "just this");

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
    QObject::connect(m.downloads(), &quelmo::DownloadsController::downloadProgressChanged, [&] { progress.append(m.downloads()->downloadProgress()); });
    QStringList statuses;
    QObject::connect(m.downloads(), &quelmo::DownloadsController::downloadStatusChanged, [&] { statuses.append(m.downloads()->downloadStatus()); });

    m.downloads()->setYoutubeURL("  https://youtu.be/abc  ");
    m.downloads()->downloadYouTubeAudio();
    EXPECT_TRUE(m.downloads()->isDownloading());
    m.downloads()->downloadYouTubeAudio(); // a second press while one runs starts nothing
    ASSERT_TRUE(downloadEnded(m));

    const QStringList args = fake.args();
    ASSERT_EQ(args.size(), 13) << args.join(' ').toStdString();
    EXPECT_EQ(args.mid(0, 6), (QStringList{"--extract-audio", "--audio-format", "mp3", "--audio-quality", "0", "--output"}));
    EXPECT_TRUE(args[6].startsWith(deck.folder + "/ytdl_")) << args[6].toStdString();
    EXPECT_TRUE(args[6].endsWith(".%(ext)s"));
    EXPECT_EQ(args.mid(7), (QStringList{"--no-playlist", "--progress", "--newline", "--no-part", "--", "https://youtu.be/abc"}));

    EXPECT_EQ(m.downloads()->downloadStatus(), u8"✅ Download complete!");
    EXPECT_EQ(m.downloads()->youtubeURL(), "");
    ASSERT_EQ(m.tracks()->importedTracks().size(), 1);
    const auto& track = m.tracks()->importedTracks().first();
    EXPECT_EQ(track.name, "YouTube Track");
    EXPECT_EQ(m.tracks()->selectedImportId(), track.id);
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
    ASSERT_EQ(m.tracks()->importedTracks().size(), 1);
    FakeYtdlp fake;
    const auto run = [&](const QString& body) {
        fake.write(body);
        m.downloads()->setYoutubeURL("https://www.youtube.com/watch?v=abc");
        m.downloads()->downloadYouTubeAudio();
        EXPECT_TRUE(downloadEnded(m));
        EXPECT_EQ(m.downloads()->downloadProgress(), 0.0);
        EXPECT_EQ(m.tracks()->importedTracks().size(), 1);
        return m.downloads()->downloadStatus();
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
    const auto lines = log.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "yt-dlp failed (exit 1): ERROR: Video unavailable"), lines.end());

    // Addresses that would be read as options never reach a process.
    QFile::remove(fake.argsFile);
    for (const char* bad : {"--exec=touch /tmp/pwned youtube.com", "-o/elsewhere youtube.com"}) {
        m.downloads()->setYoutubeURL(bad);
        m.downloads()->downloadYouTubeAudio();
        EXPECT_EQ(m.downloads()->downloadStatus(), "Invalid YouTube URL");
        EXPECT_FALSE(m.downloads()->isDownloading());
    }
    m.downloads()->setYoutubeURL("");
    m.downloads()->downloadYouTubeAudio();
    EXPECT_EQ(m.downloads()->downloadStatus(), "Please enter a URL");
    test::spinFor(100);
    EXPECT_FALSE(QFile::exists(fake.argsFile));

    qputenv("QUELMO_YTDLP_PROBE_PATHS", fake.dir.filePath("absent").toUtf8());
    m.downloads()->setYoutubeURL("https://youtu.be/abc");
    m.downloads()->downloadYouTubeAudio();
    EXPECT_EQ(m.downloads()->downloadStatus(), u8"❌ yt-dlp not installed - Click INSTALL below");
    EXPECT_TRUE(m.downloads()->showYTDLPInstallAlert());
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
    m.downloads()->setYoutubeURL("https://youtu.be/abc");
    m.downloads()->downloadYouTubeAudio();
    ASSERT_TRUE(test::spinUntil([&] { return m.downloads()->downloadStatus() == u8"⬇️ Downloading: 10%"; }, 10000));
    ASSERT_TRUE(test::spinUntil([&] { return !QDir(deck.folder).entryList({"ytdl_*"}).isEmpty(); }, 5000));
    m.downloads()->cancelDownload();
    ASSERT_TRUE(downloadEnded(m));
    EXPECT_EQ(m.downloads()->downloadStatus(), "Download cancelled");
    EXPECT_TRUE(m.tracks()->importedTracks().isEmpty());
    test::spinFor(200);
    EXPECT_TRUE(QDir(deck.folder).entryList({"ytdl_*"}).isEmpty());
    for (const QString& pidFile : {fake.pidFile, fake.dir.filePath("child")}) {
        const QString pid = QString::fromUtf8(readFile(pidFile)).trimmed();
        ASSERT_FALSE(pid.isEmpty());
        EXPECT_FALSE(isAlive(pid)) << "process " << pid.toStdString() << " still runs";
    }

    // Quitting during a download leaves nothing behind either.
    m.downloads()->setYoutubeURL("https://youtu.be/abc");
    m.downloads()->downloadYouTubeAudio();
    ASSERT_TRUE(test::spinUntil([&] { return m.downloads()->downloadStatus() == u8"⬇️ Downloading: 10%"; }, 10000));
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
