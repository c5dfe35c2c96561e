#include "tracks/TracksController.h"
#include "tracks/LoopPreparation.h"

#include "util/AssignProperty.h"

#include "downloads/DownloadManifest.h"
#include "shared/BackgroundWorkers.h"
#include "shared/Log.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSaveFile>
#include <QThreadPool>

namespace quelmo {

using namespace downloads;

namespace {

QString folderPath(const QUrl& dir) { return QDir::cleanPath(dir.toLocalFile()); }

} // namespace

void TracksController::loadSavedDownloads() {
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
            entries = decodeManifest(manifest.readAll(), dependencies_.wallClock(), &error, &skipped);
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

void TracksController::scanDownloadsDirectory() {
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

void TracksController::saveDownloadsManifest() {
    if (manifestHeld_) {
        logLine("Downloads manifest not saved: the rejected one could not be kept aside");
        return;
    }
    // An entry keeps the date it was first listed; one saved for the first time is dated now.
    const QDateTime now = dependencies_.wallClock();
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

QUuid TracksController::appendLibraryEntry(const QString& path, const QString& name, AnalysisPriority priority) {
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

void TracksController::analyzeWaveform(const QuelmoImportedTrack& track, WaveformDone done, AnalysisPriority priority) {
    const QString localPath = track.url.toLocalFile();
    const auto key = TrackAnalysisTable::keyOf(localPath);
    QPointer<TracksController> self(this);
    if (key) {
        if (auto cached = analysis_.takeCached(track.id, *key)) {
            // Answered as a decode would be: later, from the event loop.
            QMetaObject::invokeMethod(
                this, [done = std::move(done), cached = std::move(cached)]() mutable { done(std::move(cached)); },
                Qt::QueuedConnection);
            return;
        }
    }
    // A URL that names no local file gives an empty path, which fails to open and is logged.
    std::string path = QFile::encodeName(localPath).toStdString();
    // Restored library entries are analysed on idle time only, never competing with the deck or
    // with files the user just picked.
    QThreadPool& pool = priority == AnalysisPriority::user ? shared::BackgroundWorkers::pool() : tracks::libraryWorkers();
    pool.start([path = std::move(path), self = std::move(self), done = std::move(done), key, id = track.id]() mutable {
        auto result = analyzeWaveformFile(path);
        // Back on the main thread, where `self` may be checked: the application object lives there.
        auto* app = QCoreApplication::instance();
        if (!app) {
            return; // the application is going away
        }
        QMetaObject::invokeMethod(
            app,
            [self = std::move(self), done = std::move(done), result = std::move(result), key, id]() mutable {
                if (self) {
                    if (result && key) {
                        self->analysis_.take(id, *key, *result);
                    }
                    done(std::move(result));
                }
            },
            Qt::QueuedConnection);
    });
}

void TracksController::setWaveformData(const QUuid& id, std::optional<WaveformAnalysis> result) {
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

void TracksController::addDownloadedTrack(const QString& path, const QString& displayName) {
    const QUuid id = appendLibraryEntry(path, displayName, AnalysisPriority::user);
    emit importedTracksChanged();
    setSelectedImportId(id);
    saveDownloadsManifest();
}

} // namespace quelmo
