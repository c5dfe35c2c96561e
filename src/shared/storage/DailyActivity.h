#pragma once

#include <QDateTime>

namespace quelmo::shared {

// One day's activity totals, as RecordStore keeps them.
struct DailyActivity {
    qint64 id = 0; // the store's key; 0 until inserted
    QDateTime date;
    double mouseDistance = 0.0;
    qint64 keystrokes = 0;
    double activeTime = 0.0; // seconds

    // The day at date with every counter at 0.
    explicit DailyActivity(QDateTime day = QDateTime::currentDateTimeUtc()) : date(std::move(day)) {}

    friend bool operator==(const DailyActivity&, const DailyActivity&) = default;
};

} // namespace quelmo::shared
