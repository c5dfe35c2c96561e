#pragma once

#include "shared/storage/ClipboardItem.h"
#include "shared/storage/DailyActivity.h"
#include "shared/storage/TrackAnalysisRecord.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace quelmo::shared {

// Clipboard items, daily activity and track analyses kept in one SQLite file through Qt Sql. Use from the thread
// that opened it (a Qt Sql connection belongs to its thread).
class RecordStore {
public:
    // Opens (creating when needed) the store at path; logs and returns none when it cannot.
    static std::unique_ptr<RecordStore> open(const QString& path);
    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    // Inserts the record and gives it its id; false (logged) when the write fails.
    bool insert(ClipboardItem& item);
    bool insert(DailyActivity& activity);

    // Newest first.
    std::vector<ClipboardItem> clipboardItems() const;
    // Oldest day first.
    std::vector<DailyActivity> dailyActivities() const;

    // The analysis of the file at path, when one was saved for its current modification time and size.
    std::optional<TrackAnalysisRecord> trackAnalysis(const QString& path, qint64 modifiedMs, qint64 size) const;
    // Every saved analysis, in no particular order.
    std::vector<TrackAnalysisRecord> trackAnalyses() const;
    // Saves the analysis, replacing any earlier one of the same path; false (logged) when it fails.
    bool save(const TrackAnalysisRecord& record);

    // Deletes the record with the given id; true when one was deleted.
    bool remove(const ClipboardItem& item);
    bool remove(const DailyActivity& activity);

private:
    explicit RecordStore(QString connectionName);
    bool removeRow(const char* table, qint64 id);

    QString connectionName_;
};

} // namespace quelmo::shared
