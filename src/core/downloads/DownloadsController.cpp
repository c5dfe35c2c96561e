#include "downloads/DownloadsController.h"

#include "downloads/DownloadProgress.h"
#include "downloads/YoutubeDownload.h"
#include "setup/YtdlpInstaller.h"
#include "setup/YtdlpLocator.h"
#include "util/AssignProperty.h"
#include "shared/Log.h"

#include <QDir>
#include <QFileInfo>

namespace quelmo {

using namespace downloads;

namespace {
const QString passwordPrompt = QStringLiteral("password prompt");
}

DownloadsController::DownloadsController(Dependencies dependencies, QObject* parent)
    : QObject(parent)
    , dependencies_(std::move(dependencies)) {
    dependencies_.folder = QDir::cleanPath(dependencies_.folder);
}

DownloadsController::~DownloadsController() = default;

void DownloadsController::setYoutubeURL(const QString& value) {
    assignProperty(this, youtubeURL_, value, &DownloadsController::youtubeURLChanged);
}

void DownloadsController::setIsDownloading(bool value) {
    assignProperty(this, isDownloading_, value, &DownloadsController::isDownloadingChanged);
}

void DownloadsController::setDownloadProgress(double value) {
    assignProperty(this, downloadProgress_, value, &DownloadsController::downloadProgressChanged);
}

void DownloadsController::setDownloadStatus(const QString& value) {
    assignProperty(this, downloadStatus_, value, &DownloadsController::downloadStatusChanged);
}

void DownloadsController::setShowYTDLPInstallAlert(bool value) {
    assignProperty(this, showYTDLPInstallAlert_, value, &DownloadsController::showYTDLPInstallAlertChanged);
}

void DownloadsController::setIsInstallingYTDLP(bool value) {
    assignProperty(this, isInstallingYTDLP_, value, &DownloadsController::isInstallingYTDLPChanged);
}

bool DownloadsController::checkYTDLPIsInstalled() const { return locateYtdlp().has_value(); }

void DownloadsController::refreshYtdlpCheck() {
    assignProperty(this, ytdlpInstalled_, checkYTDLPIsInstalled(), &DownloadsController::ytdlpInstalledChanged);
}

QString DownloadsController::installCommand() const { return manualYtdlpInstallCommand(); }

void DownloadsController::downloadYouTubeAudio() {
    if (isDownloading_) {
        return; // one download at a time; the view disables DOWNLOAD meanwhile
    }
    if (youtubeURL_.isEmpty()) {
        setDownloadStatus(QStringLiteral("Please enter a URL"));
        return;
    }
    const auto address = acceptedYoutubeAddress(youtubeURL_);
    if (!address) {
        setDownloadStatus(QStringLiteral("Invalid YouTube URL"));
        return;
    }
    refreshYtdlpCheck();
    if (!ytdlpInstalled_) {
        setDownloadStatus(QStringLiteral(u"❌ yt-dlp not installed - Click INSTALL below"));
        setShowYTDLPInstallAlert(true);
        return;
    }
    setIsDownloading(true);
    setDownloadProgress(0.0);
    setDownloadStatus(QStringLiteral("Starting download..."));
    QMetaObject::invokeMethod(
        this, [this, url = *address] { performYouTubeDownload(url); }, Qt::QueuedConnection);
}

void DownloadsController::performYouTubeDownload(const QString& address) {
    const QString& folder = dependencies_.folder;
    if (!QDir().mkpath(folder)) {
        setDownloadStatus(QStringLiteral(u"❌ Failed to create downloads directory"));
        setIsDownloading(false);
        return;
    }
    setDownloadStatus(QStringLiteral(u"📋 Getting video info..."));
    setDownloadProgress(0.1);
    const auto program = locateYtdlp();
    if (!program) {
        setDownloadStatus(QStringLiteral(u"❌ yt-dlp not found. Install with: ") + installCommand());
        setIsDownloading(false);
        return;
    }
    download_ = std::make_unique<YoutubeDownload>(*program, address, folder);
    connect(download_.get(), &YoutubeDownload::outputLine, this, [this](const QString& line) {
        if (const auto update = interpretProgressLine(line)) {
            setDownloadProgress(update->progress);
            setDownloadStatus(update->status);
        }
    });
    connect(download_.get(), &YoutubeDownload::failedToStart, this, [this](const QString& reason) {
        setDownloadStatus(QStringLiteral(u"❌ Could not launch yt-dlp: ") + reason);
        setDownloadProgress(0.0);
        endDownload();
    });
    connect(download_.get(), &YoutubeDownload::finished, this, &DownloadsController::finishDownload);
    connect(download_.get(), &YoutubeDownload::cancelled, this, [this] {
        setDownloadStatus(QStringLiteral("Download cancelled"));
        setDownloadProgress(0.0);
        endDownload();
    });
    setDownloadStatus(QStringLiteral(u"⬇️ Downloading audio..."));
    setDownloadProgress(0.2);
    download_->start();
}

void DownloadsController::finishDownload(int exitStatus, const QString& errorText) {
    const QString& folder = dependencies_.folder;
    if (exitStatus != 0) {
        const QString message = failureMessage(errorText, exitStatus);
        logLine("yt-dlp failed (exit " + std::to_string(exitStatus) + "): " + message.toStdString());
        setDownloadStatus(QStringLiteral(u"❌ ") + message);
        setDownloadProgress(0.0);
        endDownload();
        return;
    }
    const QString token = download_->token();
    const auto file = findMostRecentAudio(folder, token);
    if (!file) {
        logLine("yt-dlp: exit 0 but no audio file found in " + folder.toStdString());
        logLine("stderr: " + errorText.toStdString());
        setDownloadStatus(QStringLiteral(u"❌ Download finished but file not found. Check that ffmpeg is installed."));
        setDownloadProgress(0.0);
        endDownload();
        return;
    }
    dependencies_.addDownloadedTrack(*file, downloadDisplayName(QFileInfo(*file).fileName(), token));
    setDownloadStatus(QStringLiteral(u"✅ Download complete!"));
    setYoutubeURL(QString());
    setDownloadProgress(1.0);
    endDownload();
}

void DownloadsController::cancelDownload() {
    if (download_) {
        download_->cancel();
    }
}

void DownloadsController::endDownload() {
    // The run object is still on the call stack of its own signal: let it go on the next turn.
    if (download_) {
        download_.release()->deleteLater();
    }
    setIsDownloading(false);
}

void DownloadsController::autoInstallYTDLP() {
    if (installer_ && installer_->isRunning()) {
        return;
    }
    setIsInstallingYTDLP(true);
    setDownloadStatus(QStringLiteral(u"📦 Installing yt-dlp..."));
    if (!installer_) {
        installer_ = std::make_unique<YtdlpInstaller>();
    }
    dependencies_.outsideWindow(passwordPrompt, true);
    installer_->install([this](bool ok) {
        dependencies_.outsideWindow(passwordPrompt, false);
        setIsInstallingYTDLP(false);
        refreshYtdlpCheck();
        if (ok) {
            setDownloadStatus(QStringLiteral(u"✅ yt-dlp installed! You can now download."));
        } else {
            setDownloadStatus(QStringLiteral(u"❌ Auto-install failed"));
            setShowYTDLPInstallAlert(true);
        }
    });
}

void DownloadsController::shutdown() {
    download_.reset(); // ends yt-dlp and removes what it left
    installer_.reset();
}

} // namespace quelmo
