#include "tracks/TracksController.h"

#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "mix/MixMath.h"
#include "util/AssignProperty.h"
#include "util/MediaClock.h"


#include "tracks/LoopPreparation.h"
#include "shared/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace quelmo {

TracksController::TracksController(Dependencies dependencies, QObject* parent)
    : QObject(parent)
    , dependencies_(std::move(dependencies))
    , analysis_(dependencies_.analysisCacheFile)
    , sync_({dependencies_.engine, dependencies_.importInputMixer, dependencies_.graphBuilt, &analysis_,
             dependencies_.deckBpm, dependencies_.deckBeats}) {
    downloadsDir_ = QUrl::fromLocalFile(dependencies_.downloadsFolder + u'/');
    downloadsManifestURL_ = downloadsDir_.resolved(QUrl(QStringLiteral("downloads.json")));
    if (!dependencies_.wallClock) {
        dependencies_.wallClock = [] { return QDateTime::currentDateTimeUtc(); };
    }
    // The playing count goes out before the overviews follow the same change.
    connect(this, &TracksController::playingTrackIdsChanged, this, [this] {
        if (dependencies_.playingCountChanged) {
            dependencies_.playingCountChanged(static_cast<int>(playingTrackIds_.size()));
        }
    });
    connect(this, &TracksController::importedTracksChanged, this, [this] { trackListModel_.sync(importedTracks_); });
    for (auto signal : {&TracksController::importedTracksChanged, &TracksController::playingTrackIdsChanged,
                        &TracksController::selectedImportIdChanged}) {
        connect(this, signal, this, &TracksController::updateOverviewTracks);
    }
    // AUTO GAIN and the selected track's gain reach the players at once.
    connect(this, &TracksController::selectedImportIdChanged, this, &TracksController::reapplyGains);
    connect(&analysis_, &TrackAnalysisTable::gainsChanged, this, &TracksController::reapplyGains);
    // A synced row whose octave was corrected, and a row whose SYNC was switched, start again on the
    // next bar: their beats are counted anew.
    connect(&analysis_, &TrackAnalysisTable::analysesChanged, this, [this] {
        for (const auto& id : playingTrackIds_) {
            const auto stretcher = sync_.stretcherOf(id);
            if (stretcher && sync_.locks(id) && std::abs(stretcher->rate() - sync_.rate(id)) > 1e-4) {
                playLocked(id, trackPlayheadNow(id));
            }
        }
    });
    connect(&sync_, &TrackSync::switched, this, [this](const QUuid& id) {
        if (playingTrackIds_.contains(id)) {
            const double at = trackPlayheadNow(id);
            releaseTrackPlayer(id);
            playTrack(id, at);
        } else if (pausedTrackIds_.contains(id)) {
            releaseTrackPlayer(id); // its place is kept: the next play starts there, as it now plays
            setTrackState(id, TrackState::stopped);
        }
    });
    // The library restore runs on the next turn of the event loop; construction does not wait.
    QMetaObject::invokeMethod(this, &TracksController::loadSavedDownloads, Qt::QueuedConnection);
}

void TracksController::reapplyGains() {
    if (dependencies_.applyMix && dependencies_.graphBuilt && dependencies_.graphBuilt()) {
        dependencies_.applyMix();
    }
}

TracksController::~TracksController() {
    // Overviews of restored entries nobody will see again are not computed.
    tracks::libraryWorkers().clear();
}

void TracksController::shutdown() {
    stopAllTracks();
    stopDisplayLink();
    stopImport();
}

void TracksController::setImportPlaying(bool value) {
    assignProperty(this, importPlaying_, value, &TracksController::importPlayingChanged);
}

void TracksController::setCurrentTrackPosition(double value) {
    assignProperty(this, currentTrackPosition_, value, &TracksController::currentTrackPositionChanged);
}

void TracksController::setCurrentTrackDuration(double value) {
    assignProperty(this, currentTrackDuration_, value, &TracksController::currentTrackDurationChanged);
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

QVariantList TracksController::importedTracksForView() const {
    QVariantList out;
    out.reserve(importedTracks_.size());
    for (const auto& track : importedTracks_) {
        out.append(QVariant::fromValue(track));
    }
    return out;
}

QVariantList TracksController::playingOverviewTracksForView() const {
    QVariantList out;
    out.reserve(playingOverviewTracks_.size());
    for (const auto& track : playingOverviewTracks_) {
        out.append(QVariant::fromValue(track));
    }
    return out;
}

QVariant TracksController::selectedOverviewTrackForView() const {
    return selectedOverviewTrack_ ? QVariant::fromValue(*selectedOverviewTrack_) : QVariant();
}

void TracksController::updateOverviewTracks() {
    const auto hasOverview = [](const QuelmoImportedTrack& track) {
        return track.waveformData && !track.waveformData->isEmpty();
    };
    QList<QuelmoImportedTrack> playing;
    std::optional<QuelmoImportedTrack> selected;
    for (const auto& track : importedTracks_) {
        if (!hasOverview(track)) {
            continue;
        }
        if (playingTrackIds_.contains(track.id)) {
            playing.append(track);
        }
        if (selectedImportId_ == track.id) {
            selected = track;
        }
    }
    if (playing == playingOverviewTracks_ && selected == selectedOverviewTrack_) {
        return;
    }
    playingOverviewTracks_ = std::move(playing);
    selectedOverviewTrack_ = std::move(selected);
    emit overviewTracksChanged();
}

void TracksController::setSelectedImportId(std::optional<QUuid> value) {
    assignProperty(this, selectedImportId_, value, &TracksController::selectedImportIdChanged);
}

QString TracksController::selectedImportIdForView() const {
    return selectedImportId_ ? uuidText(*selectedImportId_) : QString();
}

void TracksController::setSelectedImportIdFromView(const QString& value) {
    const QUuid id(value);
    setSelectedImportId(id.isNull() ? std::nullopt : std::optional<QUuid>(id));
}

QStringList TracksController::playingTrackIdsForView() const { return uuidList(playingTrackIds_); }
QStringList TracksController::pausedTrackIdsForView() const { return uuidList(pausedTrackIds_); }
QVariantMap TracksController::trackVolumesForView() const { return uuidMap(trackVolumes_); }
QVariantMap TracksController::trackPositionsForView() const { return uuidMap(trackPositions_); }
QVariantMap TracksController::trackDurationsForView() const { return uuidMap(trackDurations_); }

QVariantMap TracksController::trackErrorsForView() const {
    QVariantMap out;
    for (auto it = trackErrors_.cbegin(); it != trackErrors_.cend(); ++it) {
        out.insert(uuidText(it.key()), it.value());
    }
    return out;
}

using namespace tracks;

// ---- Track players -----------------------------------------------------------------------------

void TracksController::setPlayingTrackIds(const UuidSet& value) {
    assignProperty(this, playingTrackIds_, value, &TracksController::playingTrackIdsChanged);
}

void TracksController::setPausedTrackIds(const UuidSet& value) {
    assignProperty(this, pausedTrackIds_, value, &TracksController::pausedTrackIdsChanged);
}

void TracksController::setTrackValue(UuidMap<double>& table, const QUuid& id, double value,
                                    void (TracksController::*signal)()) {
    const auto it = table.find(id);
    if (it != table.end() && it.value() == value) {
        return;
    }
    table.insert(id, value);
    emit(this->*signal)();
}

void TracksController::setTrackError(const QUuid& id, const QString& error) {
    if (trackErrors_.value(id) == error) {
        return;
    }
    if (error.isEmpty()) {
        trackErrors_.remove(id);
    } else {
        trackErrors_.insert(id, error);
    }
    emit trackErrorsChanged();
}

namespace {
// Players kept, attached and silent, for the next tracks: a few, so that starting a track is quick
// without holding inputs of the rack's mixer that a long session no longer needs.
constexpr std::size_t idleTrackPlayersKept = 4;
} // namespace

std::shared_ptr<engine::PlayerNode> TracksController::trackPlayerFor(const QuelmoImportedTrack& track) {
    if (auto player = trackPlayers_.value(track.id)) {
        return player;
    }
    std::shared_ptr<engine::PlayerNode> player;
    if (sync_.locks(track.id)) {
        if (!(player = sync_.playerFor(track.id))) {
            setTrackError(track.id, QStringLiteral("Cannot play: too many tracks at once; stop one first"));
            return nullptr;
        }
    } else if (!idleTrackPlayers_.empty()) {
        player = std::move(idleTrackPlayers_.back());
        idleTrackPlayers_.pop_back();
    } else {
        player = std::make_shared<engine::PlayerNode>();
        dependencies_.engine->attach(player);
        if (!dependencies_.graphBuilt() || !dependencies_.engine->connect(player, dependencies_.importInputMixer)) {
            dependencies_.engine->detach(player);
            logLine("Quelmo: cannot play " + localPath(track.url) + ": the rack's mixer takes no more tracks");
            setTrackError(track.id, QStringLiteral("Cannot play: too many tracks at once; stop one first"));
            return nullptr;
        }
    }
    trackPlayers_.insert(track.id, player);
    return player;
}

void TracksController::releaseTrackPlayer(const QUuid& id) {
    trackFiles_.remove(id); // the file closes once the player's queue no longer reads it
    const auto player = trackPlayers_.take(id);
    if (!player || sync_.release(id)) {
        return;
    }
    player->stop();
    player->reset();
    if (idleTrackPlayers_.size() < idleTrackPlayersKept) {
        idleTrackPlayers_.push_back(player);
    } else {
        dependencies_.engine->detach(player);
    }
}

void TracksController::forgetTrack(const QUuid& id) {
    stopTrack(id);
    for (auto* table : {&trackVolumes_, &trackPositions_, &trackDurations_, &trackSeekPositions_, &trackStartTimes_}) {
        table->remove(id);
    }
    trackRuns_.remove(id); // work still under way for it finds no run and is dropped
    countedLengths_.remove(id);
    sync_.forget(id);
    analysis_.forget(id);
    setTrackError(id, QString());
}

void TracksController::toggleTrackPlayback(const QString& id) { toggleTrackPlayback(parseId(id)); }
void TracksController::playTrack(const QString& id) { playTrack(parseId(id)); }
void TracksController::pauseTrack(const QString& id) { pauseTrack(parseId(id)); }
void TracksController::resumeTrack(const QString& id) { resumeTrack(parseId(id)); }
void TracksController::seekTrack(const QString& id, double fraction) { seekTrack(parseId(id), fraction); }
void TracksController::setTrackVolume(const QString& id, double volume) { setTrackVolume(parseId(id), volume); }
void TracksController::stopTrack(const QString& id) { stopTrack(parseId(id)); }

void TracksController::toggleTrackPlayback(const QUuid& id) {
    dependencies_.prepareAudio();
    if (playingTrackIds_.contains(id)) {
        pauseTrack(id);
    } else if (pausedTrackIds_.contains(id)) {
        resumeTrack(id);
    } else {
        playTrack(id);
    }
}

void TracksController::playTrack(const QUuid& id, std::optional<double> position) {
    const auto entry = std::find_if(importedTracks_.cbegin(), importedTracks_.cend(),
                                    [&](const QuelmoImportedTrack& t) { return t.id == id; });
    if (entry == importedTracks_.cend()) {
        return;
    }
    dependencies_.prepareAudio();
    if (!trackPlayerFor(*entry)) {
        return;
    }
    const double from = position.value_or(trackSeekPositions_.value(id, 0.0));
    if (sync_.locks(id)) {
        playLocked(id, from);
        return;
    }
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
                              &TracksController::trackDurationsChanged);
            }
            if (loop.streams.empty()) {
                logLine("Failed to load track: " + path + ": " + loop.error);
                setTrackError(id, QStringLiteral("Cannot play: ") + QString::fromStdString(loop.error));
                releaseTrackPlayer(id);
                return;
            }
            const auto runPlayer = trackPlayers_.value(id);
            if (!runPlayer) {
                return;
            }
            setTrackError(id, QString());
            setTrackValue(trackPositions_, id, from, &TracksController::trackPositionsChanged);
            trackSeekPositions_.insert(id, from);
            trackStartTimes_.insert(id, dependencies_.clock->now());
            runPlayer->setVolume(trackPlayerVolume(id, dependencies_.importLevel()));
            runPlayer->stop();
            runPlayer->reset();
            runPlayer->play();
            scheduleTrackStreams(id, run, loop.streams);
            setTrackState(id, TrackState::playing);
            startDisplayLink();
        });
}

// Queues on the track's player the pass from startFrame and, when ahead, whole passes behind it, all
// prepared by one worker job so they land in order; every pass that plays to its end queues one
// more whole pass. Work for a run that has ended since is thrown away.
void TracksController::queueTrackPasses(const QUuid& id, std::uint64_t run, std::int64_t startFrame, bool ahead) {
    const auto file = trackFiles_.value(id);
    if (!file || trackRuns_.value(id) != run) {
        return;
    }
    offMainThread(
        this,
        [file, startFrame, ahead] {
            return prepareLoop(file, file->path(), std::nullopt,
                               [startFrame](const engine::AudioFile&) { return startFrame; }, ahead);
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
            scheduleTrackStreams(id, run, loop.streams);
        });
}

void TracksController::scheduleTrackStreams(const QUuid& id, std::uint64_t run, Streams& streams) {
    const auto player = trackPlayers_.value(id);
    for (auto& stream : streams) {
        player->scheduleSource(std::move(*stream), std::nullopt, [this, id, run](engine::PlaybackEnd end) {
            if (end == engine::PlaybackEnd::playedToEnd && trackRuns_.value(id) == run) {
                queueTrackPasses(id, run, 0, false);
            }
        });
    }
}

// Puts id in the playing set, the paused set or neither; a track is never in both.
void TracksController::setTrackState(const QUuid& id, TrackState state) {
    auto playing = playingTrackIds_;
    auto paused = pausedTrackIds_;
    playing.remove(id);
    paused.remove(id);
    if (state == TrackState::playing) {
        playing.insert(id);
    } else if (state == TrackState::paused) {
        paused.insert(id);
    }
    // The paused set first: a view never sees the id in both at once.
    if (state == TrackState::paused) {
        setPlayingTrackIds(playing);
        setPausedTrackIds(paused);
    } else {
        setPausedTrackIds(paused);
        setPlayingTrackIds(playing);
    }
}

void TracksController::pauseTrack(const QUuid& id) {
    const auto player = trackPlayers_.value(id);
    if (!player) {
        return;
    }
    player->pause();
    if (trackStartTimes_.contains(id)) {
        const double p = trackPlayheadNow(id);
        trackSeekPositions_.insert(id, p);
        setTrackValue(trackPositions_, id, p, &TracksController::trackPositionsChanged);
    }
    setTrackState(id, TrackState::paused);
}

void TracksController::resumeTrack(const QUuid& id) {
    const auto player = trackPlayers_.value(id);
    if (!player) {
        return;
    }
    if (sync_.locks(id)) {
        playLocked(id, trackSeekPositions_.value(id, 0.0)); // back on the grid from its bar
        return;
    }
    player->play();
    if (!trackSeeksUnderWay_.contains(id)) {
        trackStartTimes_.insert(id, dependencies_.clock->now()); // otherwise when the sought sound begins
    }
    setTrackState(id, TrackState::playing);
    startDisplayLink();
}

// A drag on a seek bar asks for a new place with every mouse move. Preparing the passes from a
// place takes a worker a while (a compressed file is decoded up to it), so only one preparation per
// track runs at a time and, of the places asked for meanwhile, only the latest is prepared next.
// The position readout holds at the place asked for and runs again once the sound does.
void TracksController::seekTrack(const QUuid& id, double fraction) {
    if (!trackDurations_.contains(id)) {
        return;
    }
    const double f = std::clamp(fraction, 0.0, 1.0);
    trackSeekPositions_.insert(id, f * trackDurations_.value(id));
    setTrackValue(trackPositions_, id, trackSeekPositions_.value(id), &TracksController::trackPositionsChanged);
    const auto file = trackFiles_.value(id);
    const auto player = trackPlayers_.value(id);
    if (!file || !player) {
        return; // a stopped track keeps the place: its next play starts there
    }
    if (sync_.locks(id)) {
        playLocked(id, trackSeekPositions_.value(id)); // from the bar sought, on the grid
        return;
    }
    player->stop();
    player->reset();
    trackStartTimes_.remove(id);
    const std::uint64_t run = nextRun_++;
    trackRuns_.insert(id, run);
    const auto frame = static_cast<std::int64_t>(f * static_cast<double>(file->length()));
    if (trackSeeksUnderWay_.contains(id)) {
        latestTrackSeeks_.insert(id, {run, frame});
        return;
    }
    prepareTrackSeek(id, {run, frame});
}

void TracksController::prepareTrackSeek(const QUuid& id, TrackSeek seek) {
    const auto file = trackFiles_.value(id);
    if (!file || trackRuns_.value(id) != seek.run) {
        return;
    }
    trackSeeksUnderWay_.insert(id);
    offMainThread(
        this,
        [file, frame = seek.frame] {
            return prepareLoop(file, file->path(), std::nullopt, [frame](const engine::AudioFile&) { return frame; },
                               true);
        },
        [this, id, seek, path = file->path()](LoopStart loop) {
            trackSeeksUnderWay_.remove(id);
            if (latestTrackSeeks_.contains(id)) {
                prepareTrackSeek(id, latestTrackSeeks_.take(id)); // a later place was asked for meanwhile
                return;
            }
            const auto player = trackPlayers_.value(id);
            if (trackRuns_.value(id) != seek.run || !player) {
                return;
            }
            if (loop.streams.empty()) {
                logLine("Failed to load track: " + path + ": " + loop.error);
                return;
            }
            scheduleTrackStreams(id, seek.run, loop.streams);
            if (playingTrackIds_.contains(id)) {
                player->play();
                trackStartTimes_.insert(id, dependencies_.clock->now()); // the readout runs with the sound again
            }
        });
}

void TracksController::setTrackVolume(const QUuid& id, double volume) {
    setTrackValue(trackVolumes_, id, volume, &TracksController::trackVolumesChanged);
    if (const auto player = trackPlayers_.value(id)) {
        player->setVolume(trackPlayerVolume(id, dependencies_.importLevel()));
    }
}

void TracksController::stopTrack(const QUuid& id) {
    if (!trackRuns_.contains(id)) {
        return; // never played: nothing to stop, nothing to note
    }
    trackRuns_.insert(id, nextRun_++);
    const bool hadPlayer = trackPlayers_.contains(id);
    releaseTrackPlayer(id);
    setTrackState(id, TrackState::stopped);
    if (hadPlayer) {
        setTrackValue(trackPositions_, id, 0.0, &TracksController::trackPositionsChanged);
        trackSeekPositions_.insert(id, 0.0);
        trackStartTimes_.remove(id);
    }
}

void TracksController::stopAllTracks() {
    for (const auto& id : playingTrackIds_ + pausedTrackIds_) {
        trackRuns_.insert(id, nextRun_++);
        releaseTrackPlayer(id);
    }
    setPlayingTrackIds({});
    setPausedTrackIds({});
}

void TracksController::startDisplayLink() {
    if (positionUpdateTimer_) {
        return;
    }
    positionUpdateTimer_ = std::make_unique<QTimer>();
    positionUpdateTimer_->setInterval(1000 / 30);
    connect(positionUpdateTimer_.get(), &QTimer::timeout, this, &TracksController::updateTrackPositions);
    positionUpdateTimer_->start();
}

double TracksController::trackPlayheadNow(const QUuid& id) const {
    const double rate = sync_.stretcherOf(id) ? sync_.rate(id) * appliedTrackRate_ : appliedTrackRate_;
    if (!trackStartTimes_.contains(id)) {
        return trackSeekPositions_.value(id, 0.0); // held: a seek is under way or its sound is to come
    }
    return trackSeekPositions_.value(id, 0.0) + std::max(0.0, dependencies_.clock->now() - trackStartTimes_.value(id)) * rate;
}

void TracksController::applyMixSettings(const MixNodeSettings& s) {
    const double importGain = selectedImportId_ ? analysis_.gainFactor(*selectedImportId_) : 1.0;
    dependencies_.importPlayer->setVolume(static_cast<float>(s.importPlayerVolume * importGain));
    applyTrackVolumes(s.importPlayerVolume);
    if (s.importRate != appliedTrackRate_) {
        // The readouts of the rows that play go on from where they are at the new speed.
        for (const auto& id : playingTrackIds_) {
            if (trackStartTimes_.contains(id)) {
                trackSeekPositions_.insert(id, trackPlayheadNow(id));
                trackStartTimes_.insert(id, dependencies_.clock->now());
            }
        }
        appliedTrackRate_ = s.importRate;
    }
    dependencies_.importTimePitch->setRate(s.importRate);
    dependencies_.importTimePitch->setPitch(s.importPitchCents);
}

float TracksController::trackPlayerVolume(const QUuid& id, double importLevel) const {
    return static_cast<float>(trackVolumes_.value(id, 0.8) * importLevel * analysis_.gainFactor(id));
}

void TracksController::applyTrackVolumes(double importLevel) {
    for (auto it = trackPlayers_.cbegin(); it != trackPlayers_.cend(); ++it) {
        it.value()->setVolume(trackPlayerVolume(it.key(), importLevel));
    }
}

void TracksController::stopDisplayLink() { positionUpdateTimer_.reset(); }

void TracksController::updateTrackPositions() {
    if (playingTrackIds_.isEmpty()) {
        // Deleting the timer from its own timeout is safe only once the signal has returned.
        if (positionUpdateTimer_) {
            positionUpdateTimer_.release()->deleteLater();
        }
        return;
    }
    const double now = dependencies_.clock->now();
    bool changed = false;
    for (const auto& id : playingTrackIds_) {
        if (!trackStartTimes_.contains(id) || !trackDurations_.contains(id) || !trackSeekPositions_.contains(id)) {
            continue;
        }
        double p = trackPlayheadNow(id);
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

} // namespace quelmo
