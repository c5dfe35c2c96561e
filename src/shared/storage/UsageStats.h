#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QMap>
#include <QString>

#include <optional>

namespace quelmo::shared {

// How often and how long an application has been used, and which of its features. A JSON record
// (see JsonCodec.h): store it with StorageManager::set.
struct UsageStats {
    int launchCount = 0;
    std::optional<QDateTime> firstLaunchDate;
    std::optional<QDateTime> lastLaunchDate;
    double totalUsageTime = 0.0; // seconds
    QMap<QString, int> featureUsage;

    // One more launch at now; the first launch date is set once.
    void recordLaunch(const QDateTime& now = QDateTime::currentDateTimeUtc());
    void recordFeature(const QString& name);

    QJsonObject toJson() const;
    static std::optional<UsageStats> fromJson(const QJsonObject& object);

    friend bool operator==(const UsageStats&, const UsageStats&) = default;
};

} // namespace quelmo::shared
