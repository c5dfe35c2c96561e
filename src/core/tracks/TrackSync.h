#pragma once

#include "timing/TransportMath.h"
#include "tracks/BeatGrid.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QUuid>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quelmo {

namespace engine {
class AudioEngine;
class MixerNode;
class PlayerNode;
class TimePitchUnit;
} // namespace engine

class TrackAnalysisTable;

// SYNC (deck.tracks.sync): the rows that play at the deck's tempo. A synced row with a tempo plays
// through a stretcher of its own at the deck's BPM over its own, loops whole bars from its first
// beat, and begins on a bar of the transport, so its beats fall on the metronome's clicks. A row
// without a tempo plays as it is.
//
// Main thread only. The stretchers are warmed on the tracks' workers before their first sound.
class TrackSync : public QObject {
    Q_OBJECT
    Q_PROPERTY(QStringList syncedIds READ syncedIdsForView NOTIFY syncedIdsChanged)

public:
    struct Dependencies {
        engine::AudioEngine* engine = nullptr;
        std::shared_ptr<engine::MixerNode> mixer; // where synced rows join the import chain
        std::function<bool()> graphBuilt;
        const TrackAnalysisTable* analysis = nullptr;
        std::function<double()> deckBpm;
        // The metronome's beats while the transport runs; none while it is stopped.
        std::function<std::optional<transport::BeatGrid>()> deckBeats;
    };

    explicit TrackSync(Dependencies dependencies, QObject* parent = nullptr);
    ~TrackSync() override;

    // Switches SYNC of a row (upper-case UUID text); a playing row takes it on at the next bar.
    Q_INVOKABLE void toggle(const QString& id);
    void setSynced(const QUuid& id, bool on);
    bool isSynced(const QUuid& id) const { return synced_.contains(id); }
    // SYNC is on and the track has a tempo: it plays stretched and locked.
    bool locks(const QUuid& id) const;
    // The deck's BPM over the track's, within the stretcher's range; 1 without a tempo.
    double rate(const QUuid& id) const;

    // A player for a locked track, joined to the mixer through a stretcher of its own (a warm one
    // kept from an earlier track when there is one). Null when the mixer takes no more inputs.
    std::shared_ptr<engine::PlayerNode> playerFor(const QUuid& id);
    std::shared_ptr<engine::TimePitchUnit> stretcherOf(const QUuid& id) const;
    // The track's player stops; it and its stretcher rest for the next track. False when the track
    // had no player here.
    bool release(const QUuid& id);
    void forget(const QUuid& id);
    // Some synced track has a player (it plays or is paused): the deck keeps its beat's phase.
    bool holdsPlayers() const { return !chains_.isEmpty(); }

    // Where a locked track started now begins: the transport's first bar far enough ahead for the
    // render thread to take the booking; none while the transport is stopped (it begins at once).
    std::optional<std::int64_t> startSample() const;
    // The deck's tempo or a track's octave changed: every stretcher takes its new rate.
    void followTempo();

    QStringList syncedIdsForView() const;

signals:
    void syncedIdsChanged();
    // A row's SYNC was switched: a playing row starts again to take it on.
    void switched(const QUuid& id);
    // holdsPlayers() has just become true: the first synced track since none took a player.
    void beganHoldingPlayers();

private:
    struct Chain {
        std::shared_ptr<engine::PlayerNode> player;
        std::shared_ptr<engine::TimePitchUnit> stretcher;
    };

    Dependencies dependencies_;
    QSet<QUuid> synced_;
    QHash<QUuid, Chain> chains_;
    std::vector<Chain> idle_;
};

} // namespace quelmo
