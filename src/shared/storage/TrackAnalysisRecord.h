#pragma once

#include <QByteArray>
#include <QString>

namespace quelmo::shared {

// What analysing one audio file found, as RecordStore keeps it: valid for the file at `path` while
// its modification time and size are unchanged. The analysis is the caller's own encoding.
struct TrackAnalysisRecord {
    QString path;
    qint64 modifiedMs = 0; // modification time, milliseconds since the epoch
    qint64 size = 0;       // bytes
    QByteArray analysis;

    friend bool operator==(const TrackAnalysisRecord&, const TrackAnalysisRecord&) = default;
};

} // namespace quelmo::shared
