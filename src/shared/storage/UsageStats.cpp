#include "shared/storage/UsageStats.h"

#include "shared/storage/JsonCodec.h"

namespace quelmo::shared {

void UsageStats::recordLaunch(const QDateTime& now) {
    launchCount += 1;
    lastLaunchDate = now;
    if (!firstLaunchDate) {
        firstLaunchDate = now;
    }
}

void UsageStats::recordFeature(const QString& name) {
    featureUsage[name] = featureUsage.value(name, 0) + 1;
}

QJsonObject UsageStats::toJson() const {
    QJsonObject object{{QStringLiteral("launchCount"), launchCount},
                       {QStringLiteral("totalUsageTime"), totalUsageTime},
                       {QStringLiteral("featureUsage"), JsonCodec<QMap<QString, int>>::encode(featureUsage)}};
    if (firstLaunchDate) {
        object.insert(QStringLiteral("firstLaunchDate"), JsonCodec<QDateTime>::encode(*firstLaunchDate));
    }
    if (lastLaunchDate) {
        object.insert(QStringLiteral("lastLaunchDate"), JsonCodec<QDateTime>::encode(*lastLaunchDate));
    }
    return object;
}

std::optional<UsageStats> UsageStats::fromJson(const QJsonObject& object) {
    const auto launchCount = json::field<int>(object, QStringLiteral("launchCount"));
    const auto first = json::optionalField<QDateTime>(object, QStringLiteral("firstLaunchDate"));
    const auto last = json::optionalField<QDateTime>(object, QStringLiteral("lastLaunchDate"));
    const auto totalUsageTime = json::field<double>(object, QStringLiteral("totalUsageTime"));
    const auto featureUsage = json::field<QMap<QString, int>>(object, QStringLiteral("featureUsage"));
    if (!launchCount || !first || !last || !totalUsageTime || !featureUsage) {
        return std::nullopt;
    }
    return UsageStats{*launchCount, *first, *last, *totalUsageTime, *featureUsage};
}

} // namespace quelmo::shared
