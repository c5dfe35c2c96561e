#include "setup/YtdlpInstaller.h"

#include "util/Log.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quelmo {
namespace {

constexpr int stalledAfterMs = 60'000;
constexpr qint64 smallestProgram = 1024;

// The last line a child printed, which is where tools put their reason.
QString lastLine(const QString& output) {
    const QStringList lines = output.trimmed().split(u'\n');
    return lines.isEmpty() ? QString() : lines.constLast().trimmed();
}

QString reasonOf(const ShellResult& result) {
    if (!result.launched || !result.error.isEmpty()) {
        return result.error;
    }
    const QString last = lastLine(result.output);
    return last.isEmpty() ? QStringLiteral("exit status %1").arg(result.exitCode)
                          : QStringLiteral("exit status %1: %2").arg(result.exitCode).arg(last);
}

// "sh -c" text, run with root rights, that puts the file $1 at $2 in one step.
QString placeCommand() {
    // Run as root, it takes its tools from the system's own folders only.
    return QStringLiteral(R"(PATH=/usr/sbin:/usr/bin:/sbin:/bin; )"
                          R"(mkdir -p "${2%/*}" && new=$(mktemp "${2%/*}/.yt-dlp.XXXXXX") && cp "$1" "$new" && )"
                          R"(chmod 755 "$new" && mv -f "$new" "$2" || { rm -f "$new"; exit 1; })");
}

} // namespace

QString defaultYtdlpReleaseUrl() {
    const QString base = QStringLiteral("https://github.com/yt-dlp/yt-dlp/releases/latest/download/");
    const QString cpu = QSysInfo::currentCpuArchitecture();
    if (cpu == u"x86_64") {
        return base + QStringLiteral("yt-dlp_linux");
    }
    if (cpu == u"arm64") {
        return base + QStringLiteral("yt-dlp_linux_aarch64");
    }
    return {};
}

YtdlpInstaller::YtdlpInstaller(YtdlpInstallerOptions options, QObject* parent)
    : QObject(parent), options_(std::move(options)) {}

YtdlpInstaller::~YtdlpInstaller() {
    waiting_.clear();
    if (QNetworkReply* reply = reply_.data(); reply != nullptr) {
        reply->disconnect(this);
        reply->abort();
    }
}

void YtdlpInstaller::install(std::function<void(bool ok)> done) {
    const bool alreadyRunning = isRunning();
    waiting_.push_back(std::move(done));
    if (alreadyRunning) {
        return;
    }
    failures_.clear();
    if (toolPresent()) {
        finish(true);
        return;
    }
    tryHomebrew();
}

void YtdlpInstaller::logFailure(const char* step, const QString& reason) {
    const QString line = QString::fromLatin1(step) + QStringLiteral(" failed: ") + reason;
    failures_.append(line);
    logLine(line.toStdString());
}

QString YtdlpInstaller::findProgram(const QString& name) const {
    if (QDir::isAbsolutePath(name)) {
        return QFileInfo(name).isExecutable() ? name : QString();
    }
    return QStandardPaths::findExecutable(name, options_.locator().directories());
}

bool YtdlpInstaller::toolPresent() const { return options_.locator().find().has_value(); }

void YtdlpInstaller::run(const QStringList& commandLine, std::function<void(const ShellResult&)> then) {
    auto* process = new QProcess(this);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    auto output = std::make_shared<QByteArray>();
    connect(process, &QProcess::readyRead, process, [process, output] { *output += process->readAll(); });
    connect(process, &QProcess::finished, this, [process, output, then](int exitCode, QProcess::ExitStatus status) {
        *output += process->readAll();
        ShellResult result;
        result.launched = true;
        result.exitCode = exitCode;
        result.output = QString::fromUtf8(*output);
        if (status == QProcess::CrashExit) {
            result.error = process->errorString();
        }
        process->deleteLater();
        then(result);
    });
    connect(process, &QProcess::errorOccurred, this, [process, then](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) {
            return; // finished() follows
        }
        ShellResult result;
        result.error = QStringLiteral("%1: %2").arg(process->program(), process->errorString());
        process->deleteLater();
        then(result);
    });
    process->start(commandLine.constFirst(), commandLine.mid(1));
}

void YtdlpInstaller::tryHomebrew() {
    const QString brew = findProgram(QStringLiteral("brew"));
    if (brew.isEmpty()) {
        tryPackageManager();
        return;
    }
    run({brew, QStringLiteral("install"), QStringLiteral("yt-dlp")}, [this](const ShellResult& result) {
        if (result.succeeded() && toolPresent()) {
            finish(true);
            return;
        }
        logFailure("Homebrew install", result.succeeded() ? QStringLiteral("yt-dlp is still not found") : reasonOf(result));
        tryPackageManager();
    });
}

void YtdlpInstaller::tryPackageManager() {
    const QString aptGet = findProgram(QStringLiteral("apt-get"));
    if (aptGet.isEmpty()) {
        tryDownload();
        return;
    }
    QStringList commandLine = options_.elevate;
    if (!commandLine.isEmpty()) {
        const QString elevator = findProgram(commandLine.constFirst());
        if (elevator.isEmpty()) {
            logFailure("Package install", commandLine.constFirst() + QStringLiteral(" not found"));
            tryDownload();
            return;
        }
        commandLine.first() = elevator;
    }
    // The elevating program starts its command with a clean environment: the full path it is.
    commandLine << aptGet << QStringLiteral("install") << QStringLiteral("-y") << QStringLiteral("yt-dlp")
                << QStringLiteral("ffmpeg");
    run(commandLine, [this](const ShellResult& result) {
        if (result.succeeded() && toolPresent()) {
            finish(true);
            return;
        }
        logFailure("Package install", result.succeeded() ? QStringLiteral("yt-dlp is still not found") : reasonOf(result));
        tryDownload();
    });
}

void YtdlpInstaller::tryDownload() {
    if (options_.releaseUrl.isEmpty()) {
        downloadFailed(QStringLiteral("no yt-dlp build is published for this processor (%1)")
                           .arg(QSysInfo::currentCpuArchitecture()));
        return;
    }
    // Without help, the file is written beside the target so that the last step is a rename on one
    // file system; with help, it waits in the temporary folder for the privileged copy.
    const QString folder = options_.elevate.isEmpty() ? QFileInfo(options_.installTarget).absolutePath() : QDir::tempPath();
    download_ = std::make_unique<QTemporaryFile>(folder + QStringLiteral("/.yt-dlp.XXXXXX"));
    if (!download_->open()) {
        downloadFailed(QStringLiteral("cannot write in %1: %2").arg(folder, download_->errorString()));
        return;
    }
    head_.clear();
    if (!network_) {
        network_ = new QNetworkAccessManager(this);
    }
    QNetworkRequest request{QUrl(options_.releaseUrl)};
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(stalledAfterMs);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Quelmo"));
    reply_ = network_->get(request);
    connect(reply_, &QNetworkReply::readyRead, this, [this] {
        const QByteArray chunk = reply_->readAll();
        if (head_.size() < 4) {
            head_ += chunk.left(4 - head_.size());
        }
        if (download_->write(chunk) != chunk.size()) {
            const QString reason = QStringLiteral("cannot write the download: %1").arg(download_->errorString());
            reply_->disconnect(this);
            reply_->abort();
            reply_->deleteLater();
            downloadFailed(reason);
        }
    });
    connect(reply_, &QNetworkReply::finished, this, &YtdlpInstaller::downloadFinished);
}

void YtdlpInstaller::downloadFinished() {
    QNetworkReply* reply = reply_;
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) {
        const bool stalled = reply->error() == QNetworkReply::OperationCanceledError ||
                             reply->error() == QNetworkReply::TimeoutError;
        downloadFailed(stalled ? QStringLiteral("no data for %1 s").arg(stalledAfterMs / 1000)
                           : reply->errorString());
        return;
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid() || status.toInt() < 200 || status.toInt() > 299) {
        downloadFailed(QStringLiteral("the server answered HTTP %1").arg(status.isValid() ? status.toString() : "nothing"));
        return;
    }
    const QByteArray rest = reply->readAll();
    head_ += rest.left(qMax(qsizetype(0), 4 - head_.size()));
    if (download_->write(rest) != rest.size() || !download_->flush()) {
        downloadFailed(QStringLiteral("cannot write the download: %1").arg(download_->errorString()));
        return;
    }
    const qint64 size = download_->size();
    const bool elf = head_.startsWith("\x7f" "ELF") && size >= smallestProgram;
    const bool script = head_.startsWith("#!");
    if (!elf && !script) {
        downloadFailed(size == 0 ? QStringLiteral("the download is empty")
                                 : QStringLiteral("the download (%1 bytes) is not a program").arg(size));
        return;
    }
    placeDownload();
}

void YtdlpInstaller::placeDownload() {
    const QString target = options_.installTarget;
    download_->close();
    if (options_.elevate.isEmpty()) {
        if (!download_->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                       QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                       QFileDevice::ExeOther)) {
            downloadFailed(QStringLiteral("cannot make it executable: %1").arg(download_->errorString()));
            return;
        }
        // rename() replaces the target in one step, which QFile::rename does not do.
        if (std::rename(QFile::encodeName(download_->fileName()).constData(), QFile::encodeName(target).constData()) != 0) {
            downloadFailed(QStringLiteral("cannot replace %1: %2").arg(target, QString::fromLocal8Bit(std::strerror(errno))));
            return;
        }
        download_.reset();
        finish(toolPresent());
        return;
    }
    const QString elevator = findProgram(options_.elevate.constFirst());
    if (elevator.isEmpty()) {
        downloadFailed(options_.elevate.constFirst() + QStringLiteral(" not found"));
        return;
    }
    QStringList commandLine = options_.elevate;
    commandLine.first() = elevator;
    commandLine << QStringLiteral("/bin/sh") << QStringLiteral("-c") << placeCommand()
                << QStringLiteral("sh") << download_->fileName() << target;
    run(commandLine, [this, target](const ShellResult& result) {
        download_.reset();
        if (!result.succeeded()) {
            downloadFailed(QStringLiteral("cannot write %1: %2").arg(target, reasonOf(result)));
            return;
        }
        finish(toolPresent());
    });
}

void YtdlpInstaller::downloadFailed(const QString& reason) {
    logFailure("Binary download", reason);
    reply_ = nullptr;
    download_.reset();
    finish(false);
}

void YtdlpInstaller::finish(bool ok) {
    reply_ = nullptr;
    auto waiting = std::exchange(waiting_, {});
    for (auto& done : waiting) {
        done(ok);
    }
}

} // namespace quelmo
