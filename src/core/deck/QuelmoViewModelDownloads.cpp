#include "deck/QuelmoViewModel.h"

#include "downloads/DownloadManifest.h"
#include "downloads/DownloadProgress.h"
#include "downloads/YoutubeDownload.h"
#include "setup/YtdlpInstaller.h"
#include "setup/YtdlpLocator.h"
#include "util/Log.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace quelmo {

using namespace downloads;

void QuelmoViewModel::setYoutubeURL(const QString& value) {
    assign(youtubeURL_, value, &QuelmoViewModel::youtubeURLChanged);
}

void QuelmoViewModel::setIsDownloading(bool value) {
    assign(isDownloading_, value, &QuelmoViewModel::isDownloadingChanged);
}

void QuelmoViewModel::setDownloadProgress(double value) {
    assign(downloadProgress_, value, &QuelmoViewModel::downloadProgressChanged);
}

void QuelmoViewModel::setDownloadStatus(const QString& value) {
    assign(downloadStatus_, value, &QuelmoViewModel::downloadStatusChanged);
}

void QuelmoViewModel::setShowYTDLPInstallAlert(bool value) {
    assign(showYTDLPInstallAlert_, value, &QuelmoViewModel::showYTDLPInstallAlertChanged);
}

void QuelmoViewModel::setIsInstallingYTDLP(bool value) {
    assign(isInstallingYTDLP_, value, &QuelmoViewModel::isInstallingYTDLPChanged);
}

// ---- Downloads library -------------------------------------------------------------------------

namespace {

QString folderPath(const QUrl& dir) { return QDir::cleanPath(dir.toLocalFile()); }

} // namespace

void QuelmoViewModel::loadSavedDownloads() {
    const QString folder = folderPath(downloadsDir_);
    if (!QDir().mkpath(folder)) {
        logLine("Failed to create downloads directory: " + folder.toStdString());
        return;
    }
    const QString manifestPath = downloadsManifestURL_.toLocalFile();
    QFile manifest(manifestPath);
    if (manifest.exists()) {
        QString error;
        QStringList skipped;
        std::optional<QList<DownloadedTrackInfo>> entries;
        if (!manifest.open(QIODevice::ReadOnly)) {
            error = manifest.errorString();
        } else {
            entries = decodeManifest(manifest.readAll(), wallClock_(), &error, &skipped);
            manifest.close();
        }
        for (const QString& reason : skipped) {
            logLine("Skipped a damaged downloads manifest entry: " + reason.toStdString());
        }
        if (!entries) {
            logLine("Failed to load downloads manifest: " + error.toStdString());
            // The scan below rewrites the manifest; what it held is kept beside it first.
            QString moveError;
            if (const auto kept = setRejectedManifestAside(manifestPath, &moveError)) {
                logLine("Kept the rejected downloads manifest as " + QFileInfo(*kept).fileName().toStdString());
            } else {
                manifestHeld_ = true;
                logLine("Failed to keep the rejected downloads manifest aside: " + moveError.toStdString());
            }
        } else {
            for (const auto& entry : *entries) {
                const QString path = folder + u'/' + entry.filename;
                if (QFileInfo(path).isFile()) {
                    libraryDates_.insert(appendLibraryEntry(path), entry.dateAdded);
                }
            }
            emit importedTracksChanged();
            if (!importedTracks_.isEmpty() && !selectedImportId_) {
                setSelectedImportId(importedTracks_.first().id);
            }
        }
    }
    scanDownloadsDirectory();
}

void QuelmoViewModel::scanDownloadsDirectory() {
    const QString folder = folderPath(downloadsDir_);
    QDir dir(folder);
    if (!dir.exists() || !dir.isReadable()) {
        logLine("Failed to scan downloads directory: " + folder.toStdString() + " cannot be listed");
        return;
    }
    QSet<QString> listed;
    for (const auto& track : importedTracks_) {
        listed.insert(QDir::cleanPath(track.url.toLocalFile()));
    }
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString path = folder + u'/' + name;
        if (QFileInfo(name).suffix().toLower() == QLatin1String("mp3") && !listed.contains(path)) {
            appendLibraryEntry(path);
            listed.insert(path);
        }
    }
    emit importedTracksChanged();
    saveDownloadsManifest();
}

void QuelmoViewModel::saveDownloadsManifest() {
    if (manifestHeld_) {
        logLine("Downloads manifest not saved: the rejected one could not be kept aside");
        return;
    }
    // An entry keeps the date it was first listed; one saved for the first time is dated now.
    const QDateTime now = wallClock_();
    UuidMap<QDateTime> dates;
    QList<DownloadedTrackInfo> entries;
    entries.reserve(importedTracks_.size());
    for (const auto& track : importedTracks_) {
        const QDateTime dateAdded = libraryDates_.value(track.id, now);
        dates.insert(track.id, dateAdded);
        entries.append({track.idString(), track.name, QFileInfo(track.url.toLocalFile()).fileName(), dateAdded});
    }
    libraryDates_ = std::move(dates);
    // Written beside the old manifest and renamed over it, so a failed write leaves the old one.
    // A short write (a full disk) is a failure too: the partial file is thrown away, not renamed.
    // Unbuffered, so the write reports it: a buffered one would only fail in commit's flush, which
    // QSaveFile does not count as a failure.
    const QByteArray bytes = encodeManifest(entries);
    QSaveFile file(downloadsManifestURL_.toLocalFile());
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && file.write(bytes) == bytes.size();
    const QString reason = written ? QString() : file.errorString();
    if (!written) {
        file.cancelWriting();
    }
    written = written && file.commit();
    if (!written) {
        logLine("Failed to save downloads manifest: " + (reason.isEmpty() ? file.errorString() : reason).toStdString());
    }
}

QUuid QuelmoViewModel::appendLibraryEntry(const QString& path, const QString& name, AnalysisPriority priority) {
    QuelmoImportedTrack track(QUrl::fromLocalFile(path));
    if (!name.isEmpty()) {
        track.name = name;
    }
    const QUuid id = track.id;
    importedTracks_.append(std::move(track));
    analyzeWaveform(
        importedTracks_.last(), [this, id](std::optional<WaveformAnalysis> result) { setWaveformData(id, std::move(result)); },
        priority);
    return id;
}

void QuelmoViewModel::setWaveformData(const QUuid& id, std::optional<WaveformAnalysis> result) {
    if (!result) {
        return;
    }
    for (auto& track : importedTracks_) {
        if (track.id == id) {
            track.waveformData = QList<float>(result->levels.begin(), result->levels.end());
            countedLengths_[id] = {result->frameCount, result->sampleRate};
            emit importedTracksChanged();
            return;
        }
    }
}

// ---- YouTube download --------------------------------------------------------------------------

bool QuelmoViewModel::checkYTDLPIsInstalled() const { return locateYtdlp().has_value(); }

void QuelmoViewModel::refreshYtdlpCheck() {
    assign(ytdlpInstalled_, checkYTDLPIsInstalled(), &QuelmoViewModel::ytdlpInstalledChanged);
}

QString QuelmoViewModel::installCommand() const { return manualYtdlpInstallCommand(); }

void QuelmoViewModel::downloadYouTubeAudio() {
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

void QuelmoViewModel::performYouTubeDownload(const QString& address) {
    const QString folder = folderPath(downloadsDir_);
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
    connect(download_.get(), &YoutubeDownload::finished, this, &QuelmoViewModel::finishDownload);
    connect(download_.get(), &YoutubeDownload::cancelled, this, [this] {
        setDownloadStatus(QStringLiteral("Download cancelled"));
        setDownloadProgress(0.0);
        endDownload();
    });
    setDownloadStatus(QStringLiteral(u"⬇️ Downloading audio..."));
    setDownloadProgress(0.2);
    download_->start();
}

void QuelmoViewModel::finishDownload(int exitStatus, const QString& errorText) {
    const QString folder = folderPath(downloadsDir_);
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
    const QUuid id =
        appendLibraryEntry(*file, downloadDisplayName(QFileInfo(*file).fileName(), token), AnalysisPriority::user);
    emit importedTracksChanged();
    setSelectedImportId(id);
    setDownloadStatus(QStringLiteral(u"✅ Download complete!"));
    setYoutubeURL(QString());
    setDownloadProgress(1.0);
    saveDownloadsManifest();
    endDownload();
}

void QuelmoViewModel::cancelDownload() {
    if (download_) {
        download_->cancel();
    }
}

void QuelmoViewModel::endDownload() {
    // The run object is still on the call stack of its own signal: let it go on the next turn.
    if (download_) {
        download_.release()->deleteLater();
    }
    setIsDownloading(false);
}

// ---- yt-dlp installation -----------------------------------------------------------------------

void QuelmoViewModel::autoInstallYTDLP() {
    if (installer_ && installer_->isRunning()) {
        return;
    }
    setIsInstallingYTDLP(true);
    setDownloadStatus(QStringLiteral(u"📦 Installing yt-dlp..."));
    if (!installer_) {
        installer_ = std::make_unique<YtdlpInstaller>();
    }
    // The install may ask for the password in a prompt of the desktop's: what is typed there is
    // not for the deck.
    setOutsideWindowOpen(QStringLiteral("password prompt"), true);
    installer_->install([this](bool ok) {
        setOutsideWindowOpen(QStringLiteral("password prompt"), false);
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

} // namespace quelmo
