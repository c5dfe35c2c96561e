#pragma once

#include "shared/storage/TrackAnalysisRecord.h"
#include "tracks/TrackAnalysisCoding.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>
#include <QVariant>

#include <memory>
#include <optional>

namespace quelmo {

namespace shared {
class RecordStore;
}

// What the tracks' analyses found, per track id, as the rows and the waveform panel show it
// (deck.tracks.analysis): the tempo with the user's octave correction, the beat grid, and the gain
// AUTO GAIN plays each track at. Also the analysis cache: every analysis is kept in the record store
// keyed by the file's path, modification time and size, so a file is decoded for analysis once.
//
// Main thread only (the record store's connection belongs to the thread that opened it).
class TrackAnalysisTable : public QObject {
    Q_OBJECT
    // Id -> "128.0 BPM", or "—" when no steady beat was found; only analysed tracks have one.
    Q_PROPERTY(QVariantMap tempos READ temposForView NOTIFY analysesChanged)
    // Id -> the gain AUTO GAIN applies, "+3.2 dB"; empty while AUTO GAIN is off.
    Q_PROPERTY(QVariantMap gains READ gainsForView NOTIFY gainsChanged)
    Q_PROPERTY(bool autoGain READ autoGain WRITE setAutoGain NOTIFY gainsChanged)

public:
    // cacheFile: the SQLite file of the cache, created when needed; empty keeps no cache.
    explicit TrackAnalysisTable(QString cacheFile, QObject* parent = nullptr);
    ~TrackAnalysisTable() override;

    // The file's key for the cache (its absolute path), read now (before a decode starts).
    struct FileKey {
        QString path;
        qint64 modifiedMs = 0;
        qint64 size = 0;
    };
    static std::optional<FileKey> keyOf(const QString& path);

    // The cached analysis of the file as it is now, taken on for the track; none when the file
    // changed or was never analysed.
    std::optional<WaveformAnalysis> takeCached(const QUuid& id, const FileKey& key);
    // A fresh analysis of the file (keyed as it was when the decode began): taken on for the track
    // and cached.
    void take(const QUuid& id, const FileKey& key, const WaveformAnalysis& analysis);
    void forget(const QUuid& id);

    // The grid the track plays to (the user's octave applied), when its tempo is shown.
    std::optional<BeatGrid> grid(const QUuid& id) const;
    // The octave corrections; saved with the analysis. Unknown ids and tracks without a tempo do nothing.
    Q_INVOKABLE void halveTempo(const QString& id);
    Q_INVOKABLE void doubleTempo(const QString& id);
    // {firstBeat, beatLength, duration} in seconds, or undefined: what the waveform panel draws
    // its grid from.
    Q_INVOKABLE QVariant beatGrid(const QString& id) const;

    // The factor a track plays at under AUTO GAIN (1 when off or unknown).
    double gainFactor(const QUuid& id) const;
    bool autoGain() const { return autoGain_; }
    void setAutoGain(bool on);

    QVariantMap temposForView() const;
    QVariantMap gainsForView() const;

signals:
    void analysesChanged();
    void gainsChanged();

private:
    struct Entry {
        FileKey key;
        CachedTrackAnalysis cached;
    };
    void adopt(const QUuid& id, const FileKey& key, CachedTrackAnalysis cached);
    // analysesChanged (and gainsChanged with AUTO GAIN on) once, on the next turn of the event loop.
    void notifyLater();
    void scaleTempo(const QString& id, double factor);
    shared::RecordStore* store();

    QString cacheFile_;
    std::unique_ptr<shared::RecordStore> store_;
    bool storeTried_ = false;
    QHash<QString, shared::TrackAnalysisRecord> preloaded_; // by path, read when the store opens
    QSet<QString> askStore_; // paths the store may hold beyond preloaded_: taken or saved since
    QHash<QUuid, Entry> entries_;
    bool autoGain_ = true;
    bool notifying_ = false;
};

} // namespace quelmo
