#include "deck/QuelmoViewModel.h"

#include "deck/MixTags.h"
#include "engine/file/AudioFile.h"
#include "engine/file/FileStream.h"
#include "util/Log.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QThreadPool>

#include <algorithm>
#include <cmath>

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


// ---- File work off the main thread ------------------------------------------------------------

namespace {

QUuid parseId(const QString& text) { return QUuid::fromString(text); }

// Playback's own workers, so a click on play never waits behind the analyses of a large pick,
// which run on the global pool.
QThreadPool& playbackWorkers() {
    static QThreadPool pool;
    return pool;
}

// Runs work() on a worker and then(result) back on the main thread, unless owner is gone by then.
// Both must be copyable; results travel in a shared holder.
template <typename Work, typename Then>
void offMainThread(QObject* owner, Work work, Then then) {
    QPointer<QObject> self(owner);
    playbackWorkers().start([self, work = std::move(work), then = std::move(then)]() mutable {
        auto result = std::make_shared<decltype(work())>(work());
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, then, result]() mutable {
                if (self) {
                    then(std::move(*result));
                }
            },
            Qt::QueuedConnection);
    });
}

using Streams = std::vector<std::shared_ptr<std::unique_ptr<engine::FileStream>>>;

// What a worker prepares for a loop: the opened file (when it was not open yet) and the passes to
// queue, the first from startFrame, then whole ones.
struct LoopStart {
    std::shared_ptr<engine::AudioFile> file;
    Streams streams;
    std::string error;
};

// Whole passes kept queued behind the one sounding, so the next always follows on the frame after
// the last: enough to cover a second of audio, so that very short files do not drain the queue
// while the main thread asks a worker for the next pass.
int passesAhead(const engine::AudioFile& file) {
    const std::int64_t length = std::max<std::int64_t>(1, file.length());
    const double rate = file.processingFormat().sampleRate;
    return std::clamp(static_cast<int>(std::ceil(rate / static_cast<double>(length))), 1, 16);
}

bool addStream(const engine::AudioFile& file, std::int64_t startFrame, LoopStart& out) {
    const std::int64_t length = file.length();
    const std::int64_t start = startFrame > 0 && startFrame < length ? startFrame : 0;
    auto stream = engine::FileStream::create(file, start, std::nullopt, &out.error);
    if (!stream) {
        return false;
    }
    out.streams.push_back(std::make_shared<std::unique_ptr<engine::FileStream>>(std::move(stream)));
    return true;
}

// Worker: opens `path` unless `file` is already open (with the counted length when there is one),
// then prepares the first pass from startFrameOf(file) and the whole passes behind it (when
// `ahead`).
LoopStart prepareLoop(std::shared_ptr<engine::AudioFile> file, const std::string& path,
                      std::optional<std::int64_t> countedFrames,
                      const std::function<std::int64_t(const engine::AudioFile&)>& startFrameOf, bool ahead) {
    LoopStart out;
    if (!file) {
        auto opened = countedFrames ? engine::AudioFile::openWithLength(path, *countedFrames, &out.error)
                                    : engine::AudioFile::open(path, &out.error);
        if (!opened) {
            return out;
        }
        file = std::move(opened);
        out.file = file;
    }
    if (file->length() <= 0) {
        out.error = "the file holds no audio";
        return out;
    }
    if (!addStream(*file, startFrameOf(*file), out)) {
        return out;
    }
    for (int i = ahead ? passesAhead(*file) : 0; i > 0; --i) {
        if (!addStream(*file, 0, out)) {
            return out;
        }
    }
    return out;
}

std::string localPath(const QUrl& url) { return QFile::encodeName(url.toLocalFile()).toStdString(); }

} // namespace

// ---- Mix chips ---------------------------------------------------------------------------------

void QuelmoViewModel::watchMixTags() {
    for (auto signal : {&QuelmoViewModel::importRateChanged, &QuelmoViewModel::pitchShiftChanged,
                        &QuelmoViewModel::reverbMixChanged, &QuelmoViewModel::delayMixChanged,
                        &QuelmoViewModel::delayFeedbackChanged, &QuelmoViewModel::delayTimeChanged,
                        &QuelmoViewModel::filterCutoffChanged, &QuelmoViewModel::distortionMixChanged,
                        &QuelmoViewModel::masterToneLiftDBChanged, &QuelmoViewModel::lowShelfGainChanged,
                        &QuelmoViewModel::midPresenceDBChanged, &QuelmoViewModel::highShelfGainChanged,
                        &QuelmoViewModel::postFXGainChanged, &QuelmoViewModel::stereoImportChanged,
                        &QuelmoViewModel::stereoPadsChanged, &QuelmoViewModel::playingTrackIdsChanged}) {
        connect(this, signal, this, &QuelmoViewModel::updateMixTags);
    }
    updateMixTags();
}

void QuelmoViewModel::updateMixTags() {
    assign(mixTags_, quelmo::mixTags(currentMixLevels(), static_cast<int>(playingTrackIds_.size())),
           &QuelmoViewModel::mixTagsChanged);
}

// ---- Import list -------------------------------------------------------------------------------

void QuelmoViewModel::pickImportFiles() { emit importFilesRequested(); }

void QuelmoViewModel::addImportFiles(const QList<QUrl>& urls) {
    for (qsizetype i = 0; i < urls.size(); ++i) {
        auto pending = std::make_shared<PendingImport>();
        pending->track = QuelmoImportedTrack(urls[i]);
        pending->selectLastWhenDone = i == urls.size() - 1;
        pendingImports_.push_back(pending);
        analyzeWaveform(pending->track, [this, pending](std::optional<WaveformAnalysis> result) {
            if (result) {
                pending->track.waveformData = QList<float>(result->levels.begin(), result->levels.end());
                countedLengths_[pending->track.id] = {result->frameCount, result->sampleRate};
            }
            pending->analysed = true;
            appendFinishedImports();
        });
    }
}

void QuelmoViewModel::appendFinishedImports() {
    while (!pendingImports_.empty() && pendingImports_.front()->analysed) {
        const auto pending = pendingImports_.front();
        pendingImports_.erase(pendingImports_.begin());
        importedTracks_.append(pending->track);
        emit importedTracksChanged();
        if (pending->selectLastWhenDone && !selectedImportId_) {
            setSelectedImportId(importedTracks_.last().id);
        }
    }
}

std::optional<QuelmoImportedTrack> QuelmoViewModel::selectedTrack() const {
    if (!selectedImportId_) {
        return std::nullopt;
    }
    for (const auto& track : importedTracks_) {
        if (track.id == *selectedImportId_) {
            return track;
        }
    }
    return std::nullopt;
}

void QuelmoViewModel::removeImport(const QString& id) { removeImport(parseId(id)); }

void QuelmoViewModel::removeImport(const QUuid& id) {
    const auto entry = std::find_if(importedTracks_.cbegin(), importedTracks_.cend(),
                                    [&](const QuelmoImportedTrack& t) { return t.id == id; });
    if (entry != importedTracks_.cend()) {
        // Only a file that really lies inside the downloads folder, links resolved, is deleted.
        const QString file = QFileInfo(entry->url.toLocalFile()).canonicalFilePath();
        const QString folder = QFileInfo(downloadsDir_.toLocalFile()).canonicalFilePath();
        if (!file.isEmpty() && !folder.isEmpty() && file.startsWith(folder + QDir::separator())) {
            QFile doomed(file);
            if (doomed.remove()) {
                logLine("Deleted downloaded file: " + QFileInfo(file).fileName().toStdString());
            } else {
                logLine("Failed to delete file: " + doomed.errorString().toStdString());
            }
        }
    }
    stopTrack(id);
    const bool wasSelected = selectedImportId_ && *selectedImportId_ == id;
    if (importedTracks_.removeIf([&](const QuelmoImportedTrack& t) { return t.id == id; }) > 0) {
        emit importedTracksChanged();
    }
    countedLengths_.remove(id);
    if (wasSelected) {
        stopImport();
        importSecurityScopedURL_.reset();
        importFile_.reset();
        setSelectedImportId(importedTracks_.isEmpty() ? std::nullopt
                                                      : std::optional<QUuid>(importedTracks_.first().id));
    }
}

// ---- Import player -----------------------------------------------------------------------------

void QuelmoViewModel::toggleImportPlay() {
    if (importPlaying_) {
        stopImport();
    } else {
        playImport();
    }
}

void QuelmoViewModel::stopImport() {
    ++importRun_;
    setImportPlaying(false);
    importPlayer_->stop();
    importPlayer_->reset();
    setCurrentTrackPosition(0.0);
}

void QuelmoViewModel::playImport() {
    const auto track = selectedTrack();
    if (!track) {
        return;
    }
    stopImport();
    setCurrentTrackPosition(0.0);
    importSecurityScopedURL_.reset(); // security-scoped access: nothing to open or close here
    const std::uint64_t run = importRun_;
    const auto counted = countedLengths_.value(track->id);
    const std::optional<std::int64_t> frames =
        counted.sampleRate > 0 ? std::optional<std::int64_t>(counted.frames) : std::nullopt;
    const std::string path = localPath(track->url);
    offMainThread(
        this, [path, frames] { return prepareLoop(nullptr, path, frames, [](const engine::AudioFile&) { return 0; }, true); },
        [this, run, path](LoopStart loop) {
            if (run != importRun_) {
                return;
            }
            if (!loop.file || loop.streams.empty()) {
                logLine("Quelmo import: " + path + ": " + loop.error);
                return;
            }
            prepareImportPlayback(loop.file);
            importPlayer_->stop();
            importPlayer_->reset();
            importPlayer_->play();
            for (auto& stream : loop.streams) {
                importPlayer_->scheduleSource(std::move(*stream), std::nullopt, [this, run](engine::PlaybackEnd end) {
                    if (end == engine::PlaybackEnd::playedToEnd && run == importRun_) {
                        setCurrentTrackPosition(0.0);
                        queueImportPass(run, 0);
                    }
                });
            }
            setImportPlaying(true);
            applyMixLevels();
        });
}

void QuelmoViewModel::prepareImportPlayback(std::shared_ptr<engine::AudioFile> file) {
    prepareAudioEngineIfNeeded();
    importFile_ = std::move(file);
    const double rate = importFile_->processingFormat().sampleRate;
    setCurrentTrackDuration(rate > 0 ? static_cast<double>(importFile_->length()) / rate : 0.0);
}

// One more pass of the import file, prepared on a worker, queued behind the ones still queued.
void QuelmoViewModel::queueImportPass(std::uint64_t run, std::int64_t startFrame) {
    if (!importFile_ || run != importRun_) {
        return;
    }
    offMainThread(
        this,
        [file = importFile_, startFrame] {
            return prepareLoop(file, file->path(), std::nullopt,
                               [startFrame](const engine::AudioFile&) { return startFrame; }, false);
        },
        [this, run](LoopStart loop) {
            if (run != importRun_) {
                return;
            }
            if (loop.streams.empty()) {
                logLine("Quelmo import: " + (importFile_ ? importFile_->path() : std::string()) + ": " + loop.error);
                return;
            }
            importPlayer_->scheduleSource(std::move(*loop.streams.front()), std::nullopt,
                                          [this, run](engine::PlaybackEnd end) {
                                              if (end == engine::PlaybackEnd::playedToEnd && run == importRun_) {
                                                  setCurrentTrackPosition(0.0);
                                                  queueImportPass(run, 0);
                                              }
                                          });
        });
}

void QuelmoViewModel::seekImport(double fraction) {
    if (!importPlaying_ || !importFile_) {
        return;
    }
    const double rate = importFile_->processingFormat().sampleRate;
    const auto length = importFile_->length();
    setCurrentTrackPosition(fraction * (rate > 0 ? static_cast<double>(length) / rate : 0.0));
    importPlayer_->stop();
    importPlayer_->reset();
    const std::uint64_t run = ++importRun_;
    const auto startFrame = static_cast<std::int64_t>(fraction * static_cast<double>(length));
    offMainThread(
        this,
        [file = importFile_, startFrame] {
            return prepareLoop(file, file->path(), std::nullopt,
                               [startFrame](const engine::AudioFile&) { return startFrame; }, true);
        },
        [this, run](LoopStart loop) {
            if (run != importRun_) {
                return;
            }
            if (loop.streams.empty()) {
                logLine("Quelmo import: " + (importFile_ ? importFile_->path() : std::string()) + ": " + loop.error);
                return;
            }
            for (auto& stream : loop.streams) {
                importPlayer_->scheduleSource(std::move(*stream), std::nullopt, [this, run](engine::PlaybackEnd end) {
                    if (end == engine::PlaybackEnd::playedToEnd && run == importRun_) {
                        queueImportPass(run, 0);
                    }
                });
            }
            importPlayer_->play();
        });
}

// ---- Track players -----------------------------------------------------------------------------

void QuelmoViewModel::setPlayingTrackIds(const UuidSet& value) {
    assign(playingTrackIds_, value, &QuelmoViewModel::playingTrackIdsChanged);
}

void QuelmoViewModel::setPausedTrackIds(const UuidSet& value) {
    assign(pausedTrackIds_, value, &QuelmoViewModel::pausedTrackIdsChanged);
}

void QuelmoViewModel::setTrackValue(UuidMap<double>& table, const QUuid& id, double value,
                                    void (QuelmoViewModel::*signal)()) {
    const auto it = table.find(id);
    if (it != table.end() && it.value() == value) {
        return;
    }
    table.insert(id, value);
    emit(this->*signal)();
}

void QuelmoViewModel::toggleTrackPlayback(const QString& id) { toggleTrackPlayback(parseId(id)); }
void QuelmoViewModel::playTrack(const QString& id) { playTrack(parseId(id)); }
void QuelmoViewModel::pauseTrack(const QString& id) { pauseTrack(parseId(id)); }
void QuelmoViewModel::resumeTrack(const QString& id) { resumeTrack(parseId(id)); }
void QuelmoViewModel::seekTrack(const QString& id, double fraction) { seekTrack(parseId(id), fraction); }
void QuelmoViewModel::setTrackVolume(const QString& id, double volume) { setTrackVolume(parseId(id), volume); }
void QuelmoViewModel::stopTrack(const QString& id) { stopTrack(parseId(id)); }

void QuelmoViewModel::toggleTrackPlayback(const QUuid& id) {
    prepareAudioEngineIfNeeded();
    if (playingTrackIds_.contains(id)) {
        pauseTrack(id);
    } else if (pausedTrackIds_.contains(id)) {
        resumeTrack(id);
    } else {
        playTrack(id);
    }
}

void QuelmoViewModel::playTrack(const QUuid& id, std::optional<double> position) {
    const auto entry = std::find_if(importedTracks_.cbegin(), importedTracks_.cend(),
                                    [&](const QuelmoImportedTrack& t) { return t.id == id; });
    if (entry == importedTracks_.cend()) {
        return;
    }
    prepareAudioEngineIfNeeded();
    auto& player = trackPlayers_[id];
    if (!player) {
        player = std::make_shared<engine::PlayerNode>();
        engine_->attach(player);
        if (preEffectsMixer_) {
            engine_->connect(player, preEffectsMixer_);
        }
    }
    const double from = position.value_or(trackSeekPositions_.value(id, 0.0));
    const std::uint64_t run = nextRun_++;
    trackRuns_.insert(id, run);

    const auto counted = countedLengths_.value(id);
    const std::optional<std::int64_t> frames =
        counted.sampleRate > 0 ? std::optional<std::int64_t>(counted.frames) : std::nullopt;
    const std::string path = localPath(entry->url);
    offMainThread(
        this,
        [file = trackFiles_.value(id), path, frames, from] {
            return prepareLoop(
                file, path, frames,
                [from](const engine::AudioFile& f) -> std::int64_t {
                    const double rate = f.processingFormat().sampleRate;
                    const double duration = static_cast<double>(f.length()) / rate;
                    return from > 0.0 && duration > 0.0
                               ? static_cast<std::int64_t>(from / duration * static_cast<double>(f.length()))
                               : 0;
                },
                true);
        },
        [this, id, run, path, from](LoopStart loop) {
            if (trackRuns_.value(id) != run) {
                return;
            }
            if (loop.file) {
                trackFiles_.insert(id, loop.file);
                const double rate = loop.file->processingFormat().sampleRate;
                setTrackValue(trackDurations_, id, static_cast<double>(loop.file->length()) / rate,
                              &QuelmoViewModel::trackDurationsChanged);
            }
            if (loop.streams.empty()) {
                logLine("Failed to load track: " + path + ": " + loop.error);
                return;
            }
            const auto runPlayer = trackPlayers_.value(id);
            setTrackValue(trackPositions_, id, from, &QuelmoViewModel::trackPositionsChanged);
            trackSeekPositions_.insert(id, from);
            trackStartTimes_.insert(id, clock_->now());
            runPlayer->setVolume(static_cast<float>(trackVolumes_.value(id, 0.8)));
            runPlayer->stop();
            runPlayer->reset();
            runPlayer->play();
            for (auto& stream : loop.streams) {
                runPlayer->scheduleSource(std::move(*stream), std::nullopt, [this, id, run](engine::PlaybackEnd end) {
                    if (end == engine::PlaybackEnd::playedToEnd && trackRuns_.value(id) == run) {
                        queueTrackPass(id, run, 0);
                    }
                });
            }
            auto playing = playingTrackIds_;
            playing.insert(id);
            auto paused = pausedTrackIds_;
            paused.remove(id);
            setPausedTrackIds(paused);
            setPlayingTrackIds(playing);
            startDisplayLink();
        });
}

// One more whole pass of the track, prepared on a worker, queued behind the ones still queued.
void QuelmoViewModel::queueTrackPass(const QUuid& id, std::uint64_t run, std::int64_t startFrame) {
    const auto file = trackFiles_.value(id);
    if (!file || trackRuns_.value(id) != run) {
        return;
    }
    offMainThread(
        this,
        [file, startFrame] {
            return prepareLoop(file, file->path(), std::nullopt,
                               [startFrame](const engine::AudioFile&) { return startFrame; }, false);
        },
        [this, id, run, path = file->path()](LoopStart loop) {
            const auto player = trackPlayers_.value(id);
            if (trackRuns_.value(id) != run || !player) {
                return;
            }
            if (loop.streams.empty()) {
                logLine("Failed to load track: " + path + ": " + loop.error);
                return;
            }
            player->scheduleSource(std::move(*loop.streams.front()), std::nullopt,
                                   [this, id, run](engine::PlaybackEnd end) {
                                       if (end == engine::PlaybackEnd::playedToEnd && trackRuns_.value(id) == run) {
                                           queueTrackPass(id, run, 0);
                                       }
                                   });
        });
}

// Queues the track from startFrame, then whole passes, all prepared by one worker job so they
// land in order; the loop then goes on pass by pass.
void QuelmoViewModel::scheduleTrackLoop(const QUuid& id, std::optional<std::int64_t> startFrame) {
    const auto file = trackFiles_.value(id);
    if (!file) {
        return;
    }
    const auto run = trackRuns_.value(id);
    const std::int64_t start = startFrame.value_or(0);
    offMainThread(
        this,
        [file, start] {
            return prepareLoop(file, file->path(), std::nullopt, [start](const engine::AudioFile&) { return start; },
                               true);
        },
        [this, id, run, path = file->path()](LoopStart loop) {
            const auto player = trackPlayers_.value(id);
            if (trackRuns_.value(id) != run || !player) {
                return;
            }
            if (loop.streams.empty()) {
                logLine("Failed to load track: " + path + ": " + loop.error);
                return;
            }
            for (auto& stream : loop.streams) {
                player->scheduleSource(std::move(*stream), std::nullopt, [this, id, run](engine::PlaybackEnd end) {
                    if (end == engine::PlaybackEnd::playedToEnd && trackRuns_.value(id) == run) {
                        queueTrackPass(id, run, 0);
                    }
                });
            }
        });
}

void QuelmoViewModel::pauseTrack(const QUuid& id) {
    const auto player = trackPlayers_.value(id);
    if (!player) {
        return;
    }
    player->pause();
    if (trackStartTimes_.contains(id)) {
        const double p = trackSeekPositions_.value(id, 0.0) + (clock_->now() - trackStartTimes_.value(id));
        trackSeekPositions_.insert(id, p);
        setTrackValue(trackPositions_, id, p, &QuelmoViewModel::trackPositionsChanged);
    }
    auto paused = pausedTrackIds_;
    paused.insert(id);
    auto playing = playingTrackIds_;
    playing.remove(id);
    setPlayingTrackIds(playing);
    setPausedTrackIds(paused);
}

void QuelmoViewModel::resumeTrack(const QUuid& id) {
    const auto player = trackPlayers_.value(id);
    if (!player) {
        return;
    }
    player->play();
    trackStartTimes_.insert(id, clock_->now());
    auto paused = pausedTrackIds_;
    paused.remove(id);
    auto playing = playingTrackIds_;
    playing.insert(id);
    setPausedTrackIds(paused);
    setPlayingTrackIds(playing);
    startDisplayLink();
}

void QuelmoViewModel::seekTrack(const QUuid& id, double fraction) {
    const auto file = trackFiles_.value(id);
    const auto player = trackPlayers_.value(id);
    if (!file || !player || !trackDurations_.contains(id)) {
        return;
    }
    const bool wasPlaying = playingTrackIds_.contains(id);
    const bool wasPaused = pausedTrackIds_.contains(id);
    const double f = std::clamp(fraction, 0.0, 1.0);
    const double t = f * trackDurations_.value(id);
    trackSeekPositions_.insert(id, t);
    setTrackValue(trackPositions_, id, t, &QuelmoViewModel::trackPositionsChanged);
    player->stop();
    player->reset();
    trackRuns_.insert(id, nextRun_++);
    if (wasPlaying || wasPaused) {
        // A stopped track only keeps the position: its next playTrack starts there.
        scheduleTrackLoop(id, static_cast<std::int64_t>(f * static_cast<double>(file->length())));
    }
    if (wasPlaying) {
        player->play();
        trackStartTimes_.insert(id, clock_->now());
    }
}

void QuelmoViewModel::setTrackVolume(const QUuid& id, double volume) {
    setTrackValue(trackVolumes_, id, volume, &QuelmoViewModel::trackVolumesChanged);
    if (const auto player = trackPlayers_.value(id)) {
        player->setVolume(static_cast<float>(volume));
    }
}

void QuelmoViewModel::stopTrack(const QUuid& id) {
    trackRuns_.insert(id, nextRun_++);
    if (const auto player = trackPlayers_.value(id)) {
        player->stop();
        player->reset();
    }
    auto playing = playingTrackIds_;
    playing.remove(id);
    auto paused = pausedTrackIds_;
    paused.remove(id);
    setPlayingTrackIds(playing);
    setPausedTrackIds(paused);
    if (trackPlayers_.contains(id)) {
        setTrackValue(trackPositions_, id, 0.0, &QuelmoViewModel::trackPositionsChanged);
        trackSeekPositions_.insert(id, 0.0);
        trackStartTimes_.remove(id);
    }
}

void QuelmoViewModel::stopAllTracks() {
    for (const auto& id : playingTrackIds_) {
        trackRuns_.insert(id, nextRun_++);
        if (const auto player = trackPlayers_.value(id)) {
            player->stop();
            player->reset();
        }
    }
    setPlayingTrackIds({});
    setPausedTrackIds({});
}

void QuelmoViewModel::startDisplayLink() {
    if (positionUpdateTimer_) {
        return;
    }
    positionUpdateTimer_ = std::make_unique<QTimer>();
    positionUpdateTimer_->setInterval(1000 / 30);
    connect(positionUpdateTimer_.get(), &QTimer::timeout, this, &QuelmoViewModel::updateTrackPositions);
    positionUpdateTimer_->start();
}

void QuelmoViewModel::stopDisplayLink() { positionUpdateTimer_.reset(); }

void QuelmoViewModel::updateTrackPositions() {
    if (playingTrackIds_.isEmpty()) {
        // Deleting the timer from its own timeout is safe only once the signal has returned.
        if (positionUpdateTimer_) {
            positionUpdateTimer_.release()->deleteLater();
        }
        return;
    }
    const double now = clock_->now();
    bool changed = false;
    for (const auto& id : playingTrackIds_) {
        if (!trackStartTimes_.contains(id) || !trackDurations_.contains(id) || !trackSeekPositions_.contains(id)) {
            continue;
        }
        double p = trackSeekPositions_.value(id) + (now - trackStartTimes_.value(id));
        if (p >= trackDurations_.value(id)) {
            p = 0.0;
            trackSeekPositions_.insert(id, 0.0);
            trackStartTimes_.insert(id, now);
        }
        if (trackPositions_.value(id, -1.0) != p) {
            trackPositions_.insert(id, p);
            changed = true;
        }
    }
    if (changed) {
        emit trackPositionsChanged();
    }
}

// ---- Hot cues ----------------------------------------------------------------------------------

void QuelmoViewModel::addOrJumpCue(double position) {
    const double p = std::clamp(position, 0.0, 1.0);
    for (const double cue : hotCues_) {
        if (std::abs(cue - p) < 0.028) {
            jumpToCue(cue);
            return;
        }
    }
    if (hotCues_.size() < 8) {
        auto cues = hotCues_;
        cues.append(p);
        std::sort(cues.begin(), cues.end());
        setHotCues(cues);
    }
}

void QuelmoViewModel::jumpToCue(double cue) {
    setPlayhead(std::clamp(cue, 0.0, 1.0));
    playheadAtStart_ = playhead_;
    transportStart_ = clock_->now();
    if (importPlaying_) {
        seekImport(cue);
    }
}

void QuelmoViewModel::removeCue(double position) {
    auto cues = hotCues_;
    cues.removeIf([position](double c) { return std::abs(c - position) < 0.035; });
    setHotCues(cues);
}

void QuelmoViewModel::clearCues() { setHotCues({}); }

} // namespace quelmo
