#pragma once

#include "model/QuelmoImportedTrack.h"
#include "tracks/ImportedTrackListModel.h"
#include "tracks/TrackAnalysisTable.h"
#include "tracks/TrackSync.h"
#include "tracks/WaveformAnalysis.h"

#include <QAbstractItemModel>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTimer;

namespace quelmo {

class MediaClock;
struct MixNodeSettings;

namespace engine {
class AudioEngine;
class AudioFile;
class FileStream;
class MixerNode;
class PlayerNode;
class TimePitchUnit;
} // namespace engine

// THE TRACKS (deck.tracks): the import list with its overviews and the downloads library, the import
// player (the selected file through rate and pitch), and a player per row into the import chain.
//
// Main thread only. Files are opened, analysed and prepared on workers that answer here (and not
// once the controller is gone); pass ends come back through the engine's event dispatch.
class TracksController : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool importPlaying READ importPlaying WRITE setImportPlaying NOTIFY importPlayingChanged)
    Q_PROPERTY(double currentTrackPosition READ currentTrackPosition WRITE setCurrentTrackPosition NOTIFY currentTrackPositionChanged)
    Q_PROPERTY(double currentTrackDuration READ currentTrackDuration WRITE setCurrentTrackDuration NOTIFY currentTrackDurationChanged)
    Q_PROPERTY(QVariantList importedTracks READ importedTracksForView NOTIFY importedTracksChanged)
    // What the waveform panel draws, entries with an overview only: the playing ones in list order
    // and the selected one (or null); small, and notified only when what they hold changes.
    Q_PROPERTY(QVariantList playingOverviewTracks READ playingOverviewTracksForView NOTIFY overviewTracksChanged)
    Q_PROPERTY(QVariant selectedOverviewTrack READ selectedOverviewTrackForView NOTIFY overviewTracksChanged)
    // The same list as an item model (roles track, trackId, name), for list views of many rows.
    Q_PROPERTY(QAbstractItemModel* importedTrackModel READ importedTrackModel CONSTANT)
    Q_PROPERTY(QString selectedImportId READ selectedImportIdForView WRITE setSelectedImportIdFromView NOTIFY selectedImportIdChanged)
    Q_PROPERTY(QStringList playingTrackIds READ playingTrackIdsForView NOTIFY playingTrackIdsChanged)
    Q_PROPERTY(QStringList pausedTrackIds READ pausedTrackIdsForView NOTIFY pausedTrackIdsChanged)
    Q_PROPERTY(QVariantMap trackVolumes READ trackVolumesForView NOTIFY trackVolumesChanged)
    Q_PROPERTY(QVariantMap trackPositions READ trackPositionsForView NOTIFY trackPositionsChanged)
    Q_PROPERTY(QVariantMap trackDurations READ trackDurationsForView NOTIFY trackDurationsChanged)
    // Why a row could not play ("Cannot play: ..."), by track id; a row that plays has none.
    Q_PROPERTY(QVariantMap trackErrors READ trackErrorsForView NOTIFY trackErrorsChanged)
    // Tempo, beat grid and AUTO GAIN of each analysed track.
    Q_PROPERTY(quelmo::TrackAnalysisTable* analysis READ analysis CONSTANT)
    Q_PROPERTY(quelmo::TrackSync* sync READ sync CONSTANT) // SYNC: rows locked to the deck's tempo

public:
    using UuidSet = QSet<QUuid>;
    template <typename V>
    using UuidMap = QHash<QUuid, V>;

    struct Dependencies {
        engine::AudioEngine* engine = nullptr; // row players are attached to its graph
        std::shared_ptr<engine::PlayerNode> importPlayer;
        std::shared_ptr<engine::TimePitchUnit> importTimePitch;
        // The head of the import chain, where every row's player joins the import player.
        std::shared_ptr<engine::MixerNode> importInputMixer;
        std::shared_ptr<MediaClock> clock;
        std::function<void()> prepareAudio; // the engine runs before anything plays
        std::function<bool()> graphBuilt;
        std::function<double()> importLevel; // the mix's import level, for rows started between applies
        std::function<void()> applyMix;      // the import player's level and speed, at once
        QString downloadsFolder;             // the library's folder, with its manifest
        std::function<QDateTime()> wallClock; // the date a library entry gets when first listed
        std::function<void(int)> playingCountChanged; // told before the overviews follow
        QString analysisCacheFile; // the analyses' SQLite cache; empty keeps none
        std::function<double()> deckBpm; // the tempo synced rows play at, and the transport's beats
        std::function<std::optional<transport::BeatGrid>()> deckBeats;
    };

    explicit TracksController(Dependencies dependencies, QObject* parent = nullptr);
    ~TracksController() override;

    // Import list. The view owns the file dialog: this only asks for it (importFilesRequested).
    Q_INVOKABLE void pickImportFiles();
    // Adds an entry per URL in order, each once its analysis and every earlier one have ended (an
    // unreadable file without overview); then, with nothing selected, selects the last entry.
    Q_INVOKABLE void addImportFiles(const QList<QUrl>& urls);
    // Removes the entry and stops its player; deletes its file only when its canonical path lies in
    // the downloads folder. Removing the selected entry selects the first left and stops the import.
    Q_INVOKABLE void removeImport(const QString& id);
    void removeImport(const QUuid& id);
    // A finished download joins the list at its end, selected, and the library's manifest is saved.
    void addDownloadedTrack(const QString& path, const QString& displayName);
    // The entry selectedImportId names, if it is in the list.
    std::optional<QuelmoImportedTrack> selectedTrack() const;

    // Import player: the selected file looping through importTimePitch into the import mixer.
    Q_INVOKABLE void playImport();
    Q_INVOKABLE void stopImport();
    Q_INVOKABLE void toggleImportPlay();
    Q_INVOKABLE void seekImport(double fraction); // restarts it at a fraction 0..1 of its file, if running

    // Track players, each looping sample-exactly into the rack. Ids: QuelmoImportedTrack::idString()
    // (unknown ones do nothing). An id enters playingTrackIds once a worker has scheduled its sound.
    Q_INVOKABLE void toggleTrackPlayback(const QString& id);
    void toggleTrackPlayback(const QUuid& id);
    Q_INVOKABLE void playTrack(const QString& id);
    // position: seconds into the file; absent = where the track was last stopped, paused or sought.
    void playTrack(const QUuid& id, std::optional<double> position = std::nullopt);
    Q_INVOKABLE void pauseTrack(const QString& id);
    void pauseTrack(const QUuid& id);
    Q_INVOKABLE void resumeTrack(const QString& id);
    void resumeTrack(const QUuid& id);
    Q_INVOKABLE void seekTrack(const QString& id, double fraction); // 0..1; a track never played: nothing
    void seekTrack(const QUuid& id, double fraction);
    Q_INVOKABLE void setTrackVolume(const QString& id, double volume);
    void setTrackVolume(const QUuid& id, double volume);
    Q_INVOKABLE void stopTrack(const QString& id);
    void stopTrack(const QUuid& id);
    Q_INVOKABLE void stopAllTracks();

    // The import chain's share of the mix (the import player's and rows' levels, speed, pitch).
    void applyMixSettings(const MixNodeSettings& settings);
    // Transport ticks (the import's readout advances), cue jumps (import and selected playing row follow).
    void transportTicked(double tickSeconds);
    void cueJumped(double cue);
    void shutdown(); // the deck's: every row and the import player stop
    void relockTracks(); // the transport's beats jumped: synced rows start again on its next bar

    // Analyses the track's file (its url) on a worker; `done` gets it on the main thread (absent when
    // the file is empty or unreadable, logged), never once this controller is gone. Analyses share
    // nothing; background ones (restored library entries) yield to those a user asked for.
    using WaveformDone = std::function<void(std::optional<WaveformAnalysis>)>;
    enum class AnalysisPriority { background, user };
    void analyzeWaveform(const QuelmoImportedTrack& track, WaveformDone done,
                         AnalysisPriority priority = AnalysisPriority::user);

    const QUrl& downloadsDir() const { return downloadsDir_; }
    const QUrl& downloadsManifestURL() const { return downloadsManifestURL_; }
    TrackAnalysisTable* analysis() { return &analysis_; }
    TrackSync* sync() { return &sync_; }
    // Players of the playing or paused tracks; players kept attached and silent for the next ones.
    std::size_t trackPlayerCount() const { return static_cast<std::size_t>(trackPlayers_.size()); }
    std::size_t idleTrackPlayerCount() const { return idleTrackPlayers_.size(); }
    std::shared_ptr<engine::PlayerNode> trackPlayerNode(const QUuid& id) const { return trackPlayers_.value(id); }

    bool importPlaying() const { return importPlaying_; }
    void setImportPlaying(bool value);
    double currentTrackPosition() const { return currentTrackPosition_; }
    void setCurrentTrackPosition(double value);
    double currentTrackDuration() const { return currentTrackDuration_; }
    void setCurrentTrackDuration(double value);
    const QList<QuelmoImportedTrack>& importedTracks() const { return importedTracks_; }
    QVariantList importedTracksForView() const;
    QVariantList playingOverviewTracksForView() const;
    QVariant selectedOverviewTrackForView() const;
    QAbstractItemModel* importedTrackModel() { return &trackListModel_; }
    std::optional<QUuid> selectedImportId() const { return selectedImportId_; }
    void setSelectedImportId(std::optional<QUuid> value);
    QString selectedImportIdForView() const;
    void setSelectedImportIdFromView(const QString& value);
    const UuidSet& playingTrackIds() const { return playingTrackIds_; }
    QStringList playingTrackIdsForView() const;
    const UuidSet& pausedTrackIds() const { return pausedTrackIds_; }
    QStringList pausedTrackIdsForView() const;
    const UuidMap<double>& trackVolumes() const { return trackVolumes_; }
    QVariantMap trackVolumesForView() const;
    const UuidMap<double>& trackPositions() const { return trackPositions_; }
    QVariantMap trackPositionsForView() const;
    const UuidMap<double>& trackDurations() const { return trackDurations_; }
    QVariantMap trackDurationsForView() const;
    const UuidMap<QString>& trackErrors() const { return trackErrors_; }
    QVariantMap trackErrorsForView() const;

signals:
    void importPlayingChanged();
    void currentTrackPositionChanged();
    void currentTrackDurationChanged();
    void importedTracksChanged();
    void overviewTracksChanged();
    void selectedImportIdChanged();
    void playingTrackIdsChanged();
    void pausedTrackIdsChanged();
    void trackVolumesChanged();
    void trackPositionsChanged();
    void trackDurationsChanged();
    void trackErrorsChanged();
    void importFilesRequested(); // pickImportFiles() asks the view to open its file dialog

private:
    using Streams = std::vector<std::shared_ptr<std::unique_ptr<engine::FileStream>>>;
    void loadSavedDownloads();
    void scanDownloadsDirectory();
    void saveDownloadsManifest();
    // Appends a library file's entry unnotified (callers notify once); its overview follows.
    QUuid appendLibraryEntry(const QString& path, const QString& name = {},
                             AnalysisPriority priority = AnalysisPriority::background);
    void setWaveformData(const QUuid& id, std::optional<WaveformAnalysis> result);
    void updateOverviewTracks();
    void setPlayingTrackIds(const UuidSet& value);
    void setPausedTrackIds(const UuidSet& value);
    void setTrackValue(UuidMap<double>& table, const QUuid& id, double value, void (TracksController::*signal)());
    void setTrackError(const QUuid& id, const QString& error);
    // The track's player, or an idle or new one joined to the rack (synced rows: through their own
    // stretcher). Null, with the row told why, when the rack's mixer takes no more inputs.
    std::shared_ptr<engine::PlayerNode> trackPlayerFor(const QuelmoImportedTrack& track);
    // The track no longer plays: its player stops and waits for the next track, its file closes.
    void releaseTrackPlayer(const QUuid& id);
    void forgetTrack(const QUuid& id); // the row is gone: nothing of the track is kept
    void appendFinishedImports();
    enum class TrackState { stopped, playing, paused };
    void setTrackState(const QUuid& id, TrackState state);
    void queueTrackPasses(const QUuid& id, std::uint64_t run, std::int64_t startFrame, bool ahead);
    struct TrackSeek { std::uint64_t run = 0; std::int64_t frame = 0; };
    void prepareTrackSeek(const QUuid& id, TrackSeek seek);
    void scheduleTrackStreams(const QUuid& id, std::uint64_t run, Streams& streams);
    // A synced row: its bars from the one at `position` (seconds), begun on the transport's next bar.
    void playLocked(const QUuid& id, double position);
    void queueLockedPass(const QUuid& id, std::uint64_t run);
    void startDisplayLink();
    void stopDisplayLink();
    void updateTrackPositions();
    void prepareImportPlayback(std::shared_ptr<engine::AudioFile> file);
    void queueImportPasses(std::uint64_t run, std::int64_t startFrame, bool ahead,
                           const std::function<void()>& queued = {});
    void scheduleImportStreams(std::uint64_t run, Streams& streams);
    // Where a track's sound is now, in seconds of the file (unwrapped); its sought place until it sounds.
    double trackPlayheadNow(const QUuid& id) const;
    // A track player's volume: its row's level times the import level and its AUTO GAIN.
    float trackPlayerVolume(const QUuid& id, double importLevel) const;
    void applyTrackVolumes(double importLevel);
    void reapplyGains();

    Dependencies dependencies_;
    bool importPlaying_ = false;
    double currentTrackPosition_ = 0.0;
    double currentTrackDuration_ = 0.0;
    QList<QuelmoImportedTrack> importedTracks_;
    tracks::ImportedTrackListModel trackListModel_;
    TrackAnalysisTable analysis_;
    TrackSync sync_;
    std::optional<QUuid> selectedImportId_;
    UuidSet playingTrackIds_;
    UuidSet pausedTrackIds_;
    UuidMap<double> trackVolumes_;
    UuidMap<double> trackPositions_;
    UuidMap<double> trackDurations_;
    UuidMap<QString> trackErrors_;
    QList<QuelmoImportedTrack> playingOverviewTracks_;
    std::optional<QuelmoImportedTrack> selectedOverviewTrack_;
    std::shared_ptr<engine::AudioFile> importFile_;
    UuidMap<std::shared_ptr<engine::PlayerNode>> trackPlayers_;
    std::vector<std::shared_ptr<engine::PlayerNode>> idleTrackPlayers_;
    UuidMap<std::shared_ptr<engine::AudioFile>> trackFiles_;
    UuidMap<double> trackStartTimes_; // media-clock seconds
    UuidMap<double> trackSeekPositions_;
    std::unique_ptr<QTimer> positionUpdateTimer_;
    // The exact length each entry's analysis counted, so playing never counts it again.
    struct CountedLength { std::int64_t frames = 0; int sampleRate = 0; };
    UuidMap<CountedLength> countedLengths_;
    // Picked files whose analysis is under way or done but not yet appended, in pick order.
    struct PendingImport {
        QuelmoImportedTrack track;
        bool analysed = false;
        bool selectLastWhenDone = false; // the last file of its pick
    };
    std::vector<std::shared_ptr<PendingImport>> pendingImports_;
    // Each start, seek and stop of a track begins a new run; work from older runs is dropped.
    UuidMap<std::uint64_t> trackRuns_;
    UuidSet trackSeeksUnderWay_; // seeks being prepared on a worker; the latest place asked meanwhile:
    UuidMap<TrackSeek> latestTrackSeeks_;
    std::uint64_t nextRun_ = 1;
    std::uint64_t importRun_ = 0;
    // The SPEED the track rows play at now (applied with the mix levels): their readouts run at it.
    double appliedTrackRate_ = 1.0;
    QUrl downloadsDir_;
    QUrl downloadsManifestURL_;
    // When each entry of the library was first listed; the manifest carries it from run to run.
    UuidMap<QDateTime> libraryDates_;
    // A rejected manifest that could not be set aside is not written over.
    bool manifestHeld_ = false;
};

} // namespace quelmo
