#include "downloads/YoutubeDownload.h"

#include "setup/YtdlpLocator.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTimer>
#include <QUuid>

#include <algorithm>

#include <signal.h>
#include <unistd.h>

namespace quelmo::downloads {
namespace {

constexpr qsizetype maxErrorBytes = 64 * 1024;
constexpr qsizetype maxLineBytes = 64 * 1024;

// The first character boundary of UTF-8 text at or after byte `at`: continuation bytes are passed
// over (at most three, the most a character has).
qsizetype characterStart(const QByteArray& bytes, qsizetype at) {
    for (int step = 0; step < 3 && at < bytes.size() && (static_cast<unsigned char>(bytes[at]) & 0xC0) == 0x80; ++step) {
        ++at;
    }
    return at;
}

// Drops the front of bytes so at most `limit` stay, cutting where a character begins, or where a
// line begins when asked and one begins in what stays.
void keepLatest(QByteArray& bytes, qsizetype limit, bool atLineStart) {
    if (bytes.size() <= limit) {
        return;
    }
    qsizetype cut = bytes.size() - limit;
    const qsizetype newline = atLineStart ? bytes.indexOf('\n', cut - 1) : -1;
    cut = newline >= 0 && newline + 1 < bytes.size() ? newline + 1 : characterStart(bytes, cut);
    bytes.remove(0, cut);
}

bool isAudioSuffix(const QString& suffix) {
    static const QStringList audio = {QStringLiteral("mp3"), QStringLiteral("m4a"),  QStringLiteral("webm"),
                                      QStringLiteral("opus"), QStringLiteral("ogg"), QStringLiteral("wav"),
                                      QStringLiteral("flac"), QStringLiteral("aac")};
    return audio.contains(suffix.toLower());
}

QString newToken() {
    return QStringLiteral("ytdl_") + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().left(8);
}

} // namespace

std::optional<QString> findMostRecentAudio(const QString& folder, const QString& token) {
    if (token.isEmpty()) {
        return std::nullopt;
    }
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files | QDir::NoDotAndDotDot);
    std::optional<QFileInfo> newest;
    QDateTime newestTime;
    for (const QFileInfo& entry : entries) {
        if (!entry.fileName().contains(token) || !isAudioSuffix(entry.suffix())) {
            continue;
        }
        // A creation time the file system does not keep counts as the distant past.
        const QDateTime created = entry.birthTime();
        if (!newest || (created.isValid() && (!newestTime.isValid() || created > newestTime))) {
            newest = entry;
            newestTime = created;
        }
    }
    if (!newest) {
        return std::nullopt;
    }
    return newest->absoluteFilePath();
}

YoutubeDownload::YoutubeDownload(QString program, QString address, QString folder, QObject* parent)
    : QObject(parent), program_(std::move(program)), address_(std::move(address)), folder_(std::move(folder)),
      token_(newToken()) {
    process_.setProgram(program_);
    process_.setArguments(arguments());
    process_.setProcessEnvironment(childEnvironment());
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.setStandardInputFile(QProcess::nullDevice());
    // A group of its own, so that a cancel reaches the converter yt-dlp starts as well.
    process_.setChildProcessModifier([] { ::setpgid(0, 0); });
    connect(&process_, &QProcess::readyReadStandardOutput, this, [this] { readOutput(false); });
    connect(&process_, &QProcess::readyReadStandardError, this, &YoutubeDownload::readErrors);
    connect(&process_, &QProcess::finished, this, &YoutubeDownload::onFinished);
    connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            emit failedToStart(process_.errorString());
        }
    });
}

YoutubeDownload::~YoutubeDownload() {
    if (!isRunning()) {
        return;
    }
    cancelling_ = true;
    signalGroup(SIGTERM);
    if (!process_.waitForFinished(1500)) {
        signalGroup(SIGKILL);
        process_.waitForFinished(1000);
    }
    signalGroup(SIGKILL); // whatever of the group outlived yt-dlp
    removeTokenFiles();
}

QString YoutubeDownload::outputTemplate() const { return folder_ + u'/' + token_ + QStringLiteral(".%(ext)s"); }

QStringList YoutubeDownload::arguments() const {
    return {QStringLiteral("--extract-audio"), QStringLiteral("--audio-format"), QStringLiteral("mp3"),
            QStringLiteral("--audio-quality"), QStringLiteral("0"), QStringLiteral("--output"), outputTemplate(),
            QStringLiteral("--no-playlist"), QStringLiteral("--progress"), QStringLiteral("--newline"),
            QStringLiteral("--no-part"), QStringLiteral("--"), address_};
}

QProcessEnvironment YoutubeDownload::childEnvironment() {
    QStringList path = YtdlpLocator::fromEnvironment().directories();
    for (const QString& system : {QStringLiteral("/usr/bin"), QStringLiteral("/bin"), QStringLiteral("/usr/sbin"),
                                  QStringLiteral("/sbin")}) {
        if (!path.contains(system)) {
            path.append(system);
        }
    }
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), path.join(u':'));
    environment.insert(QStringLiteral("HOME"), QDir::homePath());
    environment.insert(QStringLiteral("TMPDIR"), QDir::tempPath());
    return environment;
}

void YoutubeDownload::start() {
    process_.start();
    if (process_.waitForStarted(-1)) {
        groupId_ = process_.processId();
    }
}

void YoutubeDownload::cancel() {
    if (!isRunning() || cancelling_) {
        return;
    }
    cancelling_ = true;
    signalGroup(SIGTERM);
    // A child that ignores the polite request is ended for good after two seconds.
    QTimer::singleShot(2000, this, [this] {
        if (isRunning()) {
            signalGroup(SIGKILL);
        }
    });
}

void YoutubeDownload::signalGroup(int signal) {
    if (groupId_ > 0) {
        ::kill(static_cast<pid_t>(-groupId_), signal);
    }
}

void YoutubeDownload::readOutput(bool flushRest) {
    pendingOutput_.append(process_.readAllStandardOutput());
    qsizetype start = 0;
    for (;;) {
        const qsizetype newline = pendingOutput_.indexOf('\n', start);
        const bool last = newline < 0;
        if (last && !flushRest) {
            break;
        }
        const QByteArray bytes = pendingOutput_.mid(start, last ? -1 : newline - start);
        start = last ? pendingOutput_.size() : newline + 1;
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString line = decoder.decode(bytes);
        // Carriage returns of a terminal-style progress line end a line too.
        if (!decoder.hasError()) {
            for (const QString& piece : line.split(u'\r', Qt::SkipEmptyParts)) {
                if (!piece.isEmpty()) {
                    emit outputLine(piece);
                }
            }
        }
        if (last) {
            break;
        }
    }
    pendingOutput_.remove(0, start);
    // A line that never ends (a child printing without line breaks) keeps only its latest part.
    keepLatest(pendingOutput_, maxLineBytes, false);
}

void YoutubeDownload::readErrors() {
    errors_.append(process_.readAllStandardError());
    keepLatest(errors_, maxErrorBytes, true);
}

void YoutubeDownload::onFinished(int exitCode, QProcess::ExitStatus status) {
    readOutput(true);
    readErrors();
    if (cancelling_) {
        signalGroup(SIGKILL);
        removeTokenFiles();
        emit cancelled();
        return;
    }
    const QString errorText = QString::fromUtf8(errors_);
    // A child ended by a signal has no exit status of its own; report it as a failure.
    emit finished(status == QProcess::NormalExit ? exitCode : 128 + exitCode, errorText);
}

void YoutubeDownload::removeTokenFiles() {
    QDir folder(folder_);
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (name.contains(token_)) {
            folder.remove(name);
        }
    }
}

} // namespace quelmo::downloads
