// How soon a download's progress lines reach the bar: the real deck controller runs
// downloadYouTubeAudio() with a fake yt-dlp (chosen through QUELMO_YTDLP_PROBE_PATHS) that prints
// LINES progress lines INTERVAL_MS apart, "[download]  <i>.0% of 3.50MiB ... (stamp <ns>)" for i
// = 1..LINES, each stamped on CLOCK_MONOTONIC by quelmo_monotonic_stamp just before the line is
// written (the stamps also go to a side file, since the controller keeps only the percentage).
// The child's environment is fixed (PATH, HOME, TMPDIR), so the script carries every path it uses.
// The delay of a line is from its stamp to the change of downloadProgress it causes.
//   pipe      the baseline: the same script under a bare QProcess, each line timed when its
//             readyReadStandardOutput is handled (the pipe, the child and the event loop alone)
//   download  the controller, with an empty downloads library
//   restore   with LIBRARY_DOCUMENTS: a new controller on that Documents folder, the download
//             started as it is created, while its library is restored and analysed (the download
//             writes its file and manifest entry into that folder: pass a copy)
// For each: lines seen, median, 95th percentile and max delay (target: max within one frame,
// 16.7 ms), and the process's CPU share of one core while the lines came (every thread: the
// restore phase's overviews are analysed meanwhile).
// Usage: quelmo_download_progress_bench LINES INTERVAL_MS [LIBRARY_DOCUMENTS]

#include "LibraryBench.h"
#include "deck/QuelmoViewModel.h"
#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "downloads/DownloadsController.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

using namespace quelmo::bench;

// Writes the fake yt-dlp into dir and returns its path.
QString writeFakeYtdlp(const QString& dir, const QString& stampTool, int lines, int intervalMs) {
    const QString path = dir + QStringLiteral("/yt-dlp");
    const QString script = QStringLiteral(R"SH(#!/bin/bash
while [ $# -gt 0 ]; do
  if [ "$1" = "--output" ]; then template="$2"; fi
  shift
done
out="${template%.%(ext)s}.mp3"
echo "[youtube] abc: Downloading webpage"
for ((i = 1; i <= %1; i++)); do
  s=$('%2')
  echo "$i $s" >>'%3/stamps'
  echo "[download]  $i.0% of 3.50MiB at 1.20MiB/s ETA 00:02 (stamp $s)"
  sleep %4
done
echo "[ExtractAudio] Destination: $out"
[ -n "$template" ] && : >"$out"
exit 0
)SH")
                               .arg(lines)
                               .arg(stampTool, dir)
                               .arg(intervalMs / 1000.0, 0, 'f', 3);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(script.toUtf8()) < 0) {
        return {};
    }
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

// Line number -> its stamp, from the side file.
QHash<int, std::int64_t> readStamps(const QString& dir) {
    QHash<int, std::int64_t> stamps;
    QFile file(dir + QStringLiteral("/stamps"));
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QList<QByteArray> fields = line.split(' ');
            if (fields.size() == 2) {
                stamps.insert(fields[0].toInt(), fields[1].toLongLong());
            }
        }
    }
    QFile::remove(file.fileName());
    return stamps;
}

struct Result {
    std::vector<double> delaysMs; // sorted
    double cpuShare = 0.0;
    QString status;
};

void print(const char* name, const Result& result, int lines) {
    const auto& d = result.delaysMs;
    std::printf("%-8s %3zu of %d lines: delay median %5.2f ms, p95 %5.2f ms, max %6.2f ms; CPU %5.1f %% of a core%s%s\n",
                name, d.size(), lines, percentile(d, 0.5), percentile(d, 0.95), d.empty() ? 0.0 : d.back(),
                100.0 * result.cpuShare, result.status.isEmpty() ? "" : "; status ",
                result.status.toUtf8().constData());
}

Result runPipe(const QString& program, const QString& dir, int limitMs) {
    Result result;
    const double cpu = processCpuSeconds();
    const std::int64_t start = monotonicNs();
    QProcess process;
    QByteArray pending;
    QObject::connect(&process, &QProcess::readyReadStandardOutput, [&] {
        const std::int64_t now = monotonicNs();
        pending.append(process.readAllStandardOutput());
        qsizetype newline = 0;
        while ((newline = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(newline);
            pending.remove(0, newline + 1);
            const qsizetype at = line.indexOf("(stamp ");
            if (at >= 0) {
                const std::int64_t stamp = line.mid(at + 7, line.size() - at - 8).toLongLong();
                result.delaysMs.push_back(msBetween(stamp, now));
            }
        }
    });
    process.setProgram(program);
    process.setArguments({QStringLiteral("--output"), dir + QStringLiteral("/pipe.%(ext)s")});
    process.start();
    runEventLoop(limitMs, [&] { return process.state() == QProcess::NotRunning; }, 20);
    readStamps(dir);
    QFile::remove(dir + QStringLiteral("/pipe.mp3"));
    result.cpuShare = (processCpuSeconds() - cpu) / (msBetween(start, monotonicNs()) / 1000.0);
    std::sort(result.delaysMs.begin(), result.delaysMs.end());
    return result;
}

Result runDownload(const QString& documents, const QString& dir, int limitMs) {
    Result result;
    std::vector<std::pair<std::int64_t, double>> changes;
    changes.reserve(1024);
    quelmo::QuelmoViewModel::Dependencies dependencies;
    dependencies.documentsDir = documents;
    quelmo::QuelmoViewModel deck(std::move(dependencies));
    // The CPU share counts from here: the constructor's cost is the same in every phase.
    const double cpu = processCpuSeconds();
    const std::int64_t start = monotonicNs();
    QObject::connect(deck.downloads(), &quelmo::DownloadsController::downloadProgressChanged, &deck,
                     [&] { changes.emplace_back(monotonicNs(), deck.downloads()->downloadProgress()); });
    deck.downloads()->setYoutubeURL(QStringLiteral("https://www.youtube.com/watch?v=abc"));
    deck.downloads()->downloadYouTubeAudio();
    runEventLoop(limitMs, [&] { return !deck.downloads()->isDownloading(); }, 20);
    result.status = deck.downloads()->downloadStatus();
    const QHash<int, std::int64_t> stamps = readStamps(dir);
    for (const auto& [when, progress] : changes) {
        // The bar stands at 0.2 + 0.7 x p / 100 for line p.
        const int line = static_cast<int>(std::lround((progress - 0.2) / 0.7 * 100.0));
        if (progress > 0.2 && progress < 0.9 && stamps.contains(line)) {
            result.delaysMs.push_back(msBetween(stamps.value(line), when));
        }
    }
    result.cpuShare = (processCpuSeconds() - cpu) / (msBetween(start, monotonicNs()) / 1000.0);
    std::sort(result.delaysMs.begin(), result.delaysMs.end());
    return result;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s LINES INTERVAL_MS [LIBRARY_DOCUMENTS]\n", argv[0]);
        return 2;
    }
    const int lines = std::atoi(argv[1]);
    const int intervalMs = std::atoi(argv[2]);
    if (lines < 1 || lines > 99 || intervalMs < 1) {
        std::fprintf(stderr, "LINES is 1..99, INTERVAL_MS at least 1\n");
        return 2;
    }
    const QString stampTool = QCoreApplication::applicationDirPath() + QStringLiteral("/quelmo_monotonic_stamp");
    if (!QFileInfo::exists(stampTool)) {
        std::fprintf(stderr, "%s is missing: build it beside this program\n", qPrintable(stampTool));
        return 1;
    }
    QTemporaryDir work;
    const QString program = writeFakeYtdlp(work.path(), stampTool, lines, intervalMs);
    if (!work.isValid() || program.isEmpty()) {
        std::fprintf(stderr, "cannot write the fake yt-dlp\n");
        return 1;
    }
    qputenv("QUELMO_YTDLP_PROBE_PATHS", program.toLocal8Bit());
    const QString documents = work.path() + QStringLiteral("/Documents");
    QDir().mkpath(documents);
    const int limitMs = lines * (intervalMs + 50) + 10000;

    const Result pipe = runPipe(program, work.path(), limitMs);
    const Result download = runDownload(documents, work.path(), limitMs);
    print("pipe", pipe, lines);
    print("download", download, lines);
    bool complete = pipe.delaysMs.size() == static_cast<std::size_t>(lines) &&
                    download.delaysMs.size() == static_cast<std::size_t>(lines);
    if (argc > 3) {
        const Result restore = runDownload(QString::fromLocal8Bit(argv[3]), work.path(), limitMs);
        print("restore", restore, lines);
        complete = complete && restore.delaysMs.size() == static_cast<std::size_t>(lines);
    }
    return complete ? 0 : 1;
}
