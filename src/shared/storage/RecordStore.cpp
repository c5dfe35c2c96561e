#include "shared/storage/RecordStore.h"

#include "shared/Log.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

namespace quelmo::shared {
namespace {

// Dates are stored as ISO 8601 text in UTC with milliseconds: they sort as they read.
QString dateText(const QDateTime& date) {
    return date.toUTC().toString(Qt::ISODateWithMs);
}
QDateTime dateFromText(const QString& text) {
    return QDateTime::fromString(text, Qt::ISODateWithMs).toUTC();
}

bool exec(QSqlQuery& query, const QString& what) {
    if (query.exec()) {
        return true;
    }
    logLine(QStringLiteral("⚠️ RecordStore: %1 failed: %2").arg(what, query.lastError().text()));
    return false;
}

} // namespace

std::unique_ptr<RecordStore> RecordStore::open(const QString& path) {
    const QString name =
        QStringLiteral("quelmo-records-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        // Another process with the same file (a second tool, a parallel test) holds a write for
        // milliseconds: wait that long rather than fail.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=250"));
        bool ready = db.open();
        if (ready) {
            QSqlQuery query(db);
            // Write-ahead logging: a saved record costs an append, not a synced rewrite.
            query.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
            query.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
            ready = query.exec(QStringLiteral(
                        "CREATE TABLE IF NOT EXISTS clipboard_items ("
                        "id INTEGER PRIMARY KEY AUTOINCREMENT, content TEXT NOT NULL, "
                        "timestamp TEXT NOT NULL, app_source TEXT, is_pinned INTEGER NOT NULL)")) &&
                    query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS daily_activities ("
                                              "id INTEGER PRIMARY KEY AUTOINCREMENT, date TEXT NOT NULL, "
                                              "mouse_distance REAL NOT NULL, keystrokes INTEGER NOT NULL, "
                                              "active_time REAL NOT NULL)")) &&
                    query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS track_analyses ("
                                              "path TEXT PRIMARY KEY, modified INTEGER NOT NULL, "
                                              "size INTEGER NOT NULL, analysis BLOB NOT NULL)"));
            if (!ready) {
                logLine(QStringLiteral("⚠️ RecordStore: Cannot prepare %1: %2")
                            .arg(path, query.lastError().text()));
            }
        } else {
            logLine(
                QStringLiteral("⚠️ RecordStore: Cannot open %1: %2").arg(path, db.lastError().text()));
        }
        if (ready) {
            return std::unique_ptr<RecordStore>(new RecordStore(name));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return nullptr;
}

RecordStore::RecordStore(QString connectionName) : connectionName_(std::move(connectionName)) {
}

RecordStore::~RecordStore() {
    QSqlDatabase::database(connectionName_, false).close();
    QSqlDatabase::removeDatabase(connectionName_);
}

bool RecordStore::insert(ClipboardItem& item) {
    QSqlQuery query(QSqlDatabase::database(connectionName_));
    query.prepare(QStringLiteral("INSERT INTO clipboard_items (content, timestamp, app_source, is_pinned) "
                                 "VALUES (?, ?, ?, ?)"));
    query.addBindValue(item.content);
    query.addBindValue(dateText(item.timestamp));
    query.addBindValue(item.appSource ? QVariant(*item.appSource) : QVariant(QMetaType::fromType<QString>()));
    query.addBindValue(item.isPinned ? 1 : 0);
    if (!exec(query, QStringLiteral("Saving a clipboard item"))) {
        return false;
    }
    item.id = query.lastInsertId().toLongLong();
    return true;
}

bool RecordStore::insert(DailyActivity& activity) {
    QSqlQuery query(QSqlDatabase::database(connectionName_));
    query.prepare(
        QStringLiteral("INSERT INTO daily_activities (date, mouse_distance, keystrokes, active_time) "
                       "VALUES (?, ?, ?, ?)"));
    query.addBindValue(dateText(activity.date));
    query.addBindValue(activity.mouseDistance);
    query.addBindValue(activity.keystrokes);
    query.addBindValue(activity.activeTime);
    if (!exec(query, QStringLiteral("Saving a daily activity"))) {
        return false;
    }
    activity.id = query.lastInsertId().toLongLong();
    return true;
}

std::vector<ClipboardItem> RecordStore::clipboardItems() const {
    QSqlQuery query(QSqlDatabase::database(connectionName_));
    query.prepare(QStringLiteral("SELECT id, content, timestamp, app_source, is_pinned FROM clipboard_items "
                                 "ORDER BY timestamp DESC, id DESC"));
    std::vector<ClipboardItem> items;
    if (!exec(query, QStringLiteral("Reading the clipboard items"))) {
        return items;
    }
    while (query.next()) {
        ClipboardItem item;
        item.id = query.value(0).toLongLong();
        item.content = query.value(1).toString();
        item.timestamp = dateFromText(query.value(2).toString());
        if (!query.value(3).isNull()) {
            item.appSource = query.value(3).toString();
        }
        item.isPinned = query.value(4).toInt() != 0;
        items.push_back(std::move(item));
    }
    return items;
}

std::vector<DailyActivity> RecordStore::dailyActivities() const {
    QSqlQuery query(QSqlDatabase::database(connectionName_));
    query.prepare(
        QStringLiteral("SELECT id, date, mouse_distance, keystrokes, active_time FROM daily_activities "
                       "ORDER BY date, id"));
    std::vector<DailyActivity> activities;
    if (!exec(query, QStringLiteral("Reading the daily activities"))) {
        return activities;
    }
    while (query.next()) {
        DailyActivity activity(dateFromText(query.value(1).toString()));
        activity.id = query.value(0).toLongLong();
        activity.mouseDistance = query.value(2).toDouble();
        activity.keystrokes = query.value(3).toLongLong();
        activity.activeTime = query.value(4).toDouble();
        activities.push_back(std::move(activity));
    }
    return activities;
}

std::optional<TrackAnalysisRecord> RecordStore::trackAnalysis(const QString& path, qint64 modifiedMs,
                                                               qint64 size) const {
    QSqlQuery query(QSqlDatabase::database(connectionName_));
    query.prepare(QStringLiteral("SELECT analysis FROM track_analyses WHERE path = ? AND modified = ? AND size = ?"));
    query.addBindValue(path);
    query.addBindValue(modifiedMs);
    query.addBindValue(size);
    if (!exec(query, QStringLiteral("Reading a track analysis")) || !query.next()) {
        return std::nullopt;
    }
    return TrackAnalysisRecord{path, modifiedMs, size, query.value(0).toByteArray()};
}

std::vector<TrackAnalysisRecord> RecordStore::trackAnalyses() const {
    QSqlQuery query(QSqlDatabase::database(connectionName_));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT path, modified, size, analysis FROM track_analyses"));
    std::vector<TrackAnalysisRecord> records;
    if (!exec(query, QStringLiteral("Reading the track analyses"))) {
        return records;
    }
    while (query.next()) {
        records.push_back({query.value(0).toString(), query.value(1).toLongLong(), query.value(2).toLongLong(),
                           query.value(3).toByteArray()});
    }
    return records;
}

bool RecordStore::save(const TrackAnalysisRecord& record) {
    QSqlQuery query(QSqlDatabase::database(connectionName_));
    query.prepare(QStringLiteral("INSERT OR REPLACE INTO track_analyses (path, modified, size, analysis) "
                                 "VALUES (?, ?, ?, ?)"));
    query.addBindValue(record.path);
    query.addBindValue(record.modifiedMs);
    query.addBindValue(record.size);
    query.addBindValue(record.analysis);
    return exec(query, QStringLiteral("Saving a track analysis"));
}

bool RecordStore::remove(const ClipboardItem& item) {
    return removeRow("clipboard_items", item.id);
}

bool RecordStore::remove(const DailyActivity& activity) {
    return removeRow("daily_activities", activity.id);
}

bool RecordStore::removeRow(const char* table, qint64 id) {
    QSqlQuery query(QSqlDatabase::database(connectionName_));
    query.prepare(QStringLiteral("DELETE FROM %1 WHERE id = ?").arg(QLatin1String(table)));
    query.addBindValue(id);
    return exec(query, QStringLiteral("Deleting a record")) && query.numRowsAffected() > 0;
}

} // namespace quelmo::shared
