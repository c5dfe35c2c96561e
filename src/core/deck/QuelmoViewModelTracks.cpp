#include "deck/QuelmoViewModel.h"

#include <QCoreApplication>
#include <QFile>
#include <QPointer>
#include <QThreadPool>

namespace quelmo {

void QuelmoViewModel::setImportVolume(double value) {
    assign(importVolume_, value, &QuelmoViewModel::importVolumeChanged);
    requestThrottledApplyMixLevels();
}

void QuelmoViewModel::setImportRate(double value) {
    assign(importRate_, value, &QuelmoViewModel::importRateChanged);
    requestThrottledApplyMixLevels();
}

void QuelmoViewModel::setImportPlaying(bool value) {
    assign(importPlaying_, value, &QuelmoViewModel::importPlayingChanged);
}

void QuelmoViewModel::setCurrentTrackPosition(double value) {
    assign(currentTrackPosition_, value, &QuelmoViewModel::currentTrackPositionChanged);
}

void QuelmoViewModel::setCurrentTrackDuration(double value) {
    assign(currentTrackDuration_, value, &QuelmoViewModel::currentTrackDurationChanged);
}

namespace {
QString uuidText(const QUuid& id) { return id.toString(QUuid::WithoutBraces).toUpper(); }

QStringList uuidList(const QSet<QUuid>& ids) {
    QStringList out;
    for (const auto& id : ids) {
        out.append(uuidText(id));
    }
    out.sort();
    return out;
}

QVariantMap uuidMap(const QHash<QUuid, double>& values) {
    QVariantMap out;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        out.insert(uuidText(it.key()), it.value());
    }
    return out;
}
} // namespace

QVariantList QuelmoViewModel::importedTracksForView() const {
    QVariantList out;
    out.reserve(importedTracks_.size());
    for (const auto& track : importedTracks_) {
        out.append(QVariant::fromValue(track));
    }
    return out;
}

void QuelmoViewModel::setSelectedImportId(std::optional<QUuid> value) {
    assign(selectedImportId_, value, &QuelmoViewModel::selectedImportIdChanged);
}

QString QuelmoViewModel::selectedImportIdForView() const {
    return selectedImportId_ ? uuidText(*selectedImportId_) : QString();
}

void QuelmoViewModel::setSelectedImportIdFromView(const QString& value) {
    const QUuid id(value);
    setSelectedImportId(id.isNull() ? std::nullopt : std::optional<QUuid>(id));
}

QStringList QuelmoViewModel::playingTrackIdsForView() const { return uuidList(playingTrackIds_); }
QStringList QuelmoViewModel::pausedTrackIdsForView() const { return uuidList(pausedTrackIds_); }
QVariantMap QuelmoViewModel::trackVolumesForView() const { return uuidMap(trackVolumes_); }
QVariantMap QuelmoViewModel::trackPositionsForView() const { return uuidMap(trackPositions_); }
QVariantMap QuelmoViewModel::trackDurationsForView() const { return uuidMap(trackDurations_); }

void QuelmoViewModel::setHotCues(const QList<double>& value) {
    assign(hotCues_, value, &QuelmoViewModel::hotCuesChanged);
}

void QuelmoViewModel::stopAllTrackPlayback() {
    positionUpdateTimer_.reset();
    trackPlayers_.clear();
    trackFiles_.clear();
}

void QuelmoViewModel::stopImportPlayback() {
    importFile_.reset();
    setImportPlaying(false);
}

void QuelmoViewModel::analyzeWaveform(const QuelmoImportedTrack& track, WaveformDone done) {
    // A URL that names no local file gives an empty path, which fails to open and is logged.
    std::string path = QFile::encodeName(track.url.toLocalFile()).toStdString();
    QPointer<QuelmoViewModel> self(this);
    QThreadPool::globalInstance()->start([path = std::move(path), self = std::move(self),
                                          done = std::move(done)]() mutable {
        auto result = analyzeWaveformFile(path);
        // Back on the main thread, where `self` may be checked: the application object lives there.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self = std::move(self), done = std::move(done), result = std::move(result)]() mutable {
                if (self) {
                    done(std::move(result));
                }
            },
            Qt::QueuedConnection);
    });
}

} // namespace quelmo
