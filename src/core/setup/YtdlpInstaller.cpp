#include "setup/YtdlpInstaller.h"

#include "shared/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QStandardPaths>
#include <QSysInfo>
#include <QUrl>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

namespace quelmo {
namespace {

constexpr int stalledAfterMs = 60'000;
constexpr qint64 smallestProgram = 1024;
// The sums file is a few lines; the program is some tens of MiB.
constexpr qint64 largestSums = 64 * 1024;
constexpr qint64 largestProgram = 512 * 1024 * 1024;
const QString sumsName = QStringLiteral("SHA2-256SUMS");

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

bool isExecutableFile(const QString& path) {
    const QFileInfo info(path);
    return info.isAbsolute() && info.isFile() && info.isExecutable();
}

// The sum sha256sum's format ("<64 hex digits>  <name>", or " *<name>" for binary mode) gives for
// name, in lower case; nothing when no line names it or its sum is malformed.
std::optional<QByteArray> publishedSum(const QByteArray& sums, const QString& name) {
    for (const QByteArray& line : sums.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() != 2) {
            continue;
        }
        QByteArray file = fields[1];
        if (file.startsWith('*')) {
            file.remove(0, 1);
        }
        if (QString::fromUtf8(file) != name) {
            continue;
        }
        const QByteArray sum = fields[0].toLower();
        const bool hex = sum.size() == 64 && std::all_of(sum.begin(), sum.end(), [](char c) {
                             return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
                         });
        return hex ? std::optional(sum) : std::nullopt;
    }
    return std::nullopt;
}

// bytes in a sealed memory file (memfd): once sealed, no process, this user's included, can change
// its content. Returns its descriptor (close-on-exec), or -1 with errno set.
int sealedCopy(const QByteArray& bytes) {
    const int fd = ::memfd_create("yt-dlp", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) {
        return -1;
    }
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n =
            ::write(fd, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            ::close(fd);
            errno = error;
            return -1;
        }
        written += n;
    }
    if (::fcntl(fd, F_ADD_SEALS, F_SEAL_WRITE | F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

} // namespace

QString defaultYtdlpAsset() {
    const QString cpu = QSysInfo::currentCpuArchitecture();
    if (cpu == u"x86_64") {
        return QStringLiteral("yt-dlp_linux");
    }
    if (cpu == u"arm64") {
        return QStringLiteral("yt-dlp_linux_aarch64");
    }
    return {};
}

QString manualYtdlpInstallCommand() { return QStringLiteral("sudo apt install yt-dlp ffmpeg"); }

YtdlpInstaller::YtdlpInstaller(YtdlpInstallerOptions options, QObject* parent)
    : QObject(parent), options_(std::move(options)) {
}

YtdlpInstaller::~YtdlpInstaller() {
    waiting_.clear();
    if (QNetworkReply* reply = reply_.data(); reply != nullptr) {
        reply->disconnect(this);
        reply->abort();
    }
    // A step still running ends with its process, which reports to no one.
    for (QProcess* process : findChildren<QProcess*>()) {
        process->disconnect(this);
    }
    closeSealed();
}

void YtdlpInstaller::closeSealed() {
    if (sealed_ >= 0) {
        ::close(sealed_);
        sealed_ = -1;
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
    tryPackageManager();
}

void YtdlpInstaller::logFailure(const char* step, const QString& reason) {
    const QString line = QString::fromLatin1(step) + QStringLiteral(" failed: ") + reason;
    failures_.append(line);
    logLine(line.toStdString());
}

bool YtdlpInstaller::toolPresent() const {
    return options_.locator().find().has_value();
}

void YtdlpInstaller::run(const QStringList& commandLine, std::function<void(const ShellResult&)> then,
                         const QString& input) {
    auto* process = new QProcess(this);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardInputFile(input);
    auto output = std::make_shared<QByteArray>();
    connect(process, &QProcess::readyRead, process, [process, output] { *output += process->readAll(); });
    connect(process, &QProcess::finished, this,
            [process, output, then](int exitCode, QProcess::ExitStatus status) {
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

void YtdlpInstaller::tryPackageManager() {
    if (!isExecutableFile(options_.aptGet)) {
        tryHomebrew(); // not a Debian system
        return;
    }
    QStringList commandLine;
    if (!options_.pkexec.isEmpty()) {
        if (!isExecutableFile(options_.pkexec)) {
            logFailure("Package install", options_.pkexec + QStringLiteral(" not found"));
            tryHomebrew();
            return;
        }
        commandLine << options_.pkexec;
    }
    commandLine << options_.aptGet << QStringLiteral("install") << QStringLiteral("-y")
                << QStringLiteral("yt-dlp") << QStringLiteral("ffmpeg");
    run(commandLine, [this](const ShellResult& result) {
        if (result.succeeded() && toolPresent()) {
            finish(true);
            return;
        }
        logFailure("Package install",
                   result.succeeded() ? QStringLiteral("yt-dlp is still not found") : reasonOf(result));
        tryHomebrew();
    });
}

void YtdlpInstaller::tryHomebrew() {
    // Homebrew runs as the user and installs into the user's own prefix: nothing privileged.
    const QString brew =
        QStandardPaths::findExecutable(QStringLiteral("brew"), options_.locator().directories());
    if (brew.isEmpty()) {
        tryDownload();
        return;
    }
    run({brew, QStringLiteral("install"), QStringLiteral("yt-dlp")}, [this](const ShellResult& result) {
        if (result.succeeded() && toolPresent()) {
            finish(true);
            return;
        }
        logFailure("Homebrew install",
                   result.succeeded() ? QStringLiteral("yt-dlp is still not found") : reasonOf(result));
        tryDownload();
    });
}

void YtdlpInstaller::tryDownload() {
    if (options_.asset.isEmpty()) {
        downloadFailed(QStringLiteral("no yt-dlp build is published for this processor (%1)")
                           .arg(QSysInfo::currentCpuArchitecture()));
        return;
    }
    // The small sums file first: without a sum for the asset there is no point fetching it.
    fetch(options_.releaseBase + sumsName, largestSums, &YtdlpInstaller::sumsFetched);
}

void YtdlpInstaller::fetch(const QString& url, qint64 limit, void (YtdlpInstaller::*then)()) {
    fetchedName_ = QUrl(url).fileName();
    fetchLimit_ = limit;
    fetched_ = then;
    body_.clear();
    hash_.reset();
    if (!network_) {
        network_ = new QNetworkAccessManager(this);
    }
    QNetworkRequest request{QUrl(url)};
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(stalledAfterMs);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Quelmo"));
    reply_ = network_->get(request);
    // Read as it arrives, so the sum of a large program is spread over the download.
    connect(reply_, &QNetworkReply::readyRead, this, [this] {
        const QByteArray chunk = reply_->readAll();
        hash_.addData(chunk);
        body_ += chunk;
        if (body_.size() > fetchLimit_) {
            reply_->disconnect(this);
            reply_->abort();
            reply_->deleteLater();
            downloadFailed(QStringLiteral("%1 is larger than %2 bytes").arg(fetchedName_).arg(fetchLimit_));
        }
    });
    connect(reply_, &QNetworkReply::finished, this, &YtdlpInstaller::fetchFinished);
}

void YtdlpInstaller::fetchFinished() {
    QNetworkReply* reply = reply_;
    reply->deleteLater();
    reply_ = nullptr;
    // A server's refusal says more in its own status than in the transfer error it causes.
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299)) {
        downloadFailed(
            QStringLiteral("%1: the server answered HTTP %2").arg(fetchedName_, status.toString()));
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        const bool stalled = reply->error() == QNetworkReply::OperationCanceledError ||
                             reply->error() == QNetworkReply::TimeoutError;
        downloadFailed(
            stalled ? QStringLiteral("%1: no data for %2 s").arg(fetchedName_).arg(stalledAfterMs / 1000)
                    : QStringLiteral("%1: %2").arg(fetchedName_, reply->errorString()));
        return;
    }
    if (!status.isValid()) {
        downloadFailed(QStringLiteral("%1: the server answered nothing").arg(fetchedName_));
        return;
    }
    const QByteArray rest = reply->readAll();
    hash_.addData(rest);
    body_ += rest;
    if (body_.size() > fetchLimit_) {
        downloadFailed(QStringLiteral("%1 is larger than %2 bytes").arg(fetchedName_).arg(fetchLimit_));
        return;
    }
    (this->*fetched_)();
}

void YtdlpInstaller::sumsFetched() {
    const auto sum = publishedSum(body_, options_.asset);
    if (!sum) {
        downloadFailed(QStringLiteral("%1 gives no SHA-256 sum for %2").arg(sumsName, options_.asset));
        return;
    }
    expectedSum_ = *sum;
    fetch(options_.releaseBase + options_.asset, largestProgram, &YtdlpInstaller::assetFetched);
}

void YtdlpInstaller::assetFetched() {
    // A Linux program, and nothing else: an interpreter script could run anything.
    if (!body_.startsWith("\x7f"
                          "ELF") ||
        body_.size() < smallestProgram) {
        downloadFailed(
            body_.isEmpty()
                ? QStringLiteral("the download is empty")
                : QStringLiteral("the download (%1 bytes) is not a Linux program").arg(body_.size()));
        return;
    }
    const QByteArray received = hash_.result().toHex();
    if (received != expectedSum_) {
        downloadFailed(
            QStringLiteral("%1 does not match the SHA-256 sum published for it (published %2, received %3)")
                .arg(options_.asset, QString::fromLatin1(expectedSum_), QString::fromLatin1(received)));
        return;
    }
    placeDownload();
}

void YtdlpInstaller::placeDownload() {
    // The checked bytes never reach a file anyone could swap or rewrite: they are sealed in memory
    // and handed to the privileged step as its standard input. That step is one program with plain
    // arguments, which the password prompt shows as it is: install(1) reads /dev/stdin, writes the
    // target as root with mode 0755. No shell runs as root, and nothing root reads is on a path the
    // user controls. See docs/decisions/0015-installing-yt-dlp.md.
    for (const QString& program : {options_.install, options_.pkexec}) {
        if (!program.isEmpty() && !isExecutableFile(program)) {
            downloadFailed(program + QStringLiteral(" not found"));
            return;
        }
    }
    closeSealed();
    sealed_ = sealedCopy(body_);
    if (sealed_ < 0) {
        downloadFailed(QStringLiteral("cannot seal the download in memory: %1")
                           .arg(QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    body_.clear();
    const QString target = options_.installTarget;
    QStringList commandLine;
    if (!options_.pkexec.isEmpty()) {
        commandLine << options_.pkexec << options_.install << QStringLiteral("-m") << QStringLiteral("0755")
                    << QStringLiteral("-o") << QStringLiteral("root") << QStringLiteral("-g")
                    << QStringLiteral("root");
    } else {
        commandLine << options_.install << QStringLiteral("-m") << QStringLiteral("0755");
    }
    commandLine << QStringLiteral("-T") << QStringLiteral("/dev/stdin") << target;
    // QProcess opens this path as it starts the child: the child's standard input is the sealed file.
    const QString input = QStringLiteral("/proc/self/fd/%1").arg(sealed_);
    run(
        commandLine,
        [this, target](const ShellResult& result) {
            closeSealed();
            if (!result.succeeded()) {
                downloadFailed(QStringLiteral("cannot put it at %1: %2").arg(target, reasonOf(result)));
                return;
            }
            if (!toolPresent()) {
                downloadFailed(
                    QStringLiteral("it was put at %1, where yt-dlp is not looked for").arg(target));
                return;
            }
            finish(true);
        },
        input);
}

void YtdlpInstaller::downloadFailed(const QString& reason) {
    logFailure("Binary download", reason);
    reply_ = nullptr;
    body_.clear();
    closeSealed();
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
