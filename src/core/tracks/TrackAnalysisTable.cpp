#include "tracks/TrackAnalysisTable.h"

#include "shared/storage/RecordStore.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>

namespace quelmo {

namespace {

QUuid parseId(const QString& id) { return QUuid::fromString(id); }
QString idText(const QUuid& id) { return id.toString(QUuid::WithoutBraces).toUpper(); }

} // namespace

TrackAnalysisTable::TrackAnalysisTable(QString cacheFile, QObject* parent)
    : QObject(parent), cacheFile_(std::move(cacheFile)) {}

TrackAnalysisTable::~TrackAnalysisTable() = default;

std::optional<TrackAnalysisTable::FileKey> TrackAnalysisTable::keyOf(const QString& path) {
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile()) {
        return std::nullopt;
    }
    return FileKey{info.absoluteFilePath(), info.lastModified().toMSecsSinceEpoch(), info.size()};
}

shared::RecordStore* TrackAnalysisTable::store() {
    // Opened on first use, so that a deck that never analyses a file never touches the disk.
    if (!storeTried_ && !cacheFile_.isEmpty()) {
        storeTried_ = true;
        QDir().mkpath(QFileInfo(cacheFile_).absolutePath());
        store_ = shared::RecordStore::open(cacheFile_);
        // Read whole, in one query: a library restored at start looks up every row at once.
        if (store_) {
            for (auto& record : store_->trackAnalyses()) {
                preloaded_.insert(record.path, std::move(record));
            }
        }
    }
    return store_.get();
}

std::optional<WaveformAnalysis> TrackAnalysisTable::takeCached(const QUuid& id, const FileKey& key) {
    auto* records = store();
    if (!records) {
        return std::nullopt;
    }
    // Each preloaded record serves once (a file is rarely listed twice); later, and for files
    // saved since the store opened, the store answers. Any other file was never analysed.
    std::optional<shared::TrackAnalysisRecord> record;
    if (const auto it = preloaded_.constFind(key.path); it != preloaded_.cend()) {
        if (it->modifiedMs == key.modifiedMs && it->size == key.size) {
            record = *it;
        }
        preloaded_.erase(it);
        askStore_.insert(key.path);
    } else if (askStore_.contains(key.path)) {
        record = records->trackAnalysis(key.path, key.modifiedMs, key.size);
    }
    auto cached = record ? decodeTrackAnalysis(record->analysis) : std::nullopt;
    if (!cached) {
        return std::nullopt;
    }
    WaveformAnalysis analysis = cached->analysis;
    adopt(id, key, std::move(*cached));
    return analysis;
}

void TrackAnalysisTable::take(const QUuid& id, const FileKey& key, const WaveformAnalysis& analysis) {
    CachedTrackAnalysis cached{analysis, 1.0};
    if (auto* records = store()) {
        records->save({key.path, key.modifiedMs, key.size, encodeTrackAnalysis(cached)});
        askStore_.insert(key.path);
    }
    adopt(id, key, std::move(cached));
}

void TrackAnalysisTable::adopt(const QUuid& id, const FileKey& key, CachedTrackAnalysis cached) {
    cached.analysis.levels.clear(); // the track entry holds them; only the measures are needed here
    cached.analysis.levels.shrink_to_fit();
    entries_.insert(id, Entry{key, std::move(cached)});
    notifyLater();
}

void TrackAnalysisTable::notifyLater() {
    // A library of a thousand rows restored from the cache adopts a thousand analyses in one turn
    // of the event loop: the views read the tables, and the players take their gains, once.
    if (!notifying_) {
        notifying_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                notifying_ = false;
                emit analysesChanged();
                if (autoGain_) {
                    emit gainsChanged();
                }
            },
            Qt::QueuedConnection);
    }
}

void TrackAnalysisTable::forget(const QUuid& id) {
    if (entries_.remove(id) > 0) {
        notifyLater();
    }
}

std::optional<BeatGrid> TrackAnalysisTable::grid(const QUuid& id) const {
    const auto it = entries_.constFind(id);
    if (it == entries_.cend()) {
        return std::nullopt;
    }
    auto grid = it->cached.analysis.measures.shownGrid();
    if (grid) {
        grid->beatLength /= it->cached.tempoFactor;
    }
    return grid;
}

void TrackAnalysisTable::halveTempo(const QString& id) { scaleTempo(id, 0.5); }
void TrackAnalysisTable::doubleTempo(const QString& id) { scaleTempo(id, 2.0); }

void TrackAnalysisTable::scaleTempo(const QString& idString, double factor) {
    const auto it = entries_.find(parseId(idString));
    if (it == entries_.end() || !it->cached.analysis.measures.shownGrid()) {
        return;
    }
    // Kept to the octaves a tempo can sensibly be read at: 15 to 800 BPM.
    const double bpm = it->cached.analysis.measures.grid->bpm() * it->cached.tempoFactor * factor;
    if (bpm < BeatGrid::minBpm / 4 || bpm > BeatGrid::maxBpm * 4) {
        return;
    }
    it->cached.tempoFactor *= factor;
    if (auto* records = store()) {
        // Saved without the levels it no longer holds: read them back from the stored record.
        const auto record = records->trackAnalysis(it->key.path, it->key.modifiedMs, it->key.size);
        if (auto stored = record ? decodeTrackAnalysis(record->analysis) : std::nullopt) {
            stored->tempoFactor = it->cached.tempoFactor;
            records->save({it->key.path, it->key.modifiedMs, it->key.size, encodeTrackAnalysis(*stored)});
        }
    }
    emit analysesChanged();
}

QVariant TrackAnalysisTable::beatGrid(const QString& id) const {
    const QUuid key = parseId(id);
    const auto g = grid(key);
    if (!g) {
        return {};
    }
    return QVariantMap{{QStringLiteral("firstBeat"), g->firstBeat},
                       {QStringLiteral("beatLength"), g->beatLength},
                       {QStringLiteral("duration"), entries_.value(key).cached.analysis.duration()}};
}

double TrackAnalysisTable::gainFactor(const QUuid& id) const {
    const auto it = entries_.constFind(id);
    if (!autoGain_ || it == entries_.cend()) {
        return 1.0;
    }
    return std::pow(10.0, autoGainDb(it->cached.analysis.measures) / 20.0);
}

void TrackAnalysisTable::setAutoGain(bool on) {
    if (on != autoGain_) {
        autoGain_ = on;
        emit gainsChanged();
    }
}

QVariantMap TrackAnalysisTable::temposForView() const {
    QVariantMap map;
    for (auto it = entries_.cbegin(); it != entries_.cend(); ++it) {
        map.insert(idText(it.key()), tempoText(grid(it.key())));
    }
    return map;
}

QVariantMap TrackAnalysisTable::gainsForView() const {
    QVariantMap map;
    if (!autoGain_) {
        return map;
    }
    for (auto it = entries_.cbegin(); it != entries_.cend(); ++it) {
        const double db = autoGainDb(it->cached.analysis.measures);
        // With the typographic minus sign.
        const QString text = QStringLiteral("%1%2 dB")
                                 .arg(db >= 0.05 ? QStringLiteral("+") : db <= -0.05 ? QStringLiteral(u"−") : QString())
                                 .arg(std::abs(db), 0, 'f', 1);
        map.insert(idText(it.key()), text);
    }
    return map;
}

} // namespace quelmo
