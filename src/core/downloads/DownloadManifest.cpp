#include "downloads/DownloadManifest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

namespace quelmo::downloads {
namespace {

// Dates stored as plain numbers count seconds from the first instant of 2001 in UTC.
const QDateTime& referenceDate() {
    static const QDateTime reference(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
    return reference;
}

QDateTime readDate(const QJsonValue& value, const QDateTime& now) {
    if (value.isDouble()) {
        return referenceDate().addMSecs(static_cast<qint64>(value.toDouble() * 1000.0));
    }
    if (value.isString()) {
        const QString text = value.toString();
        for (const auto format : {Qt::ISODateWithMs, Qt::ISODate}) {
            QDateTime parsed = QDateTime::fromString(text, format);
            if (parsed.isValid() && parsed.timeSpec() != Qt::LocalTime) {
                return parsed.toUTC();
            }
        }
    }
    return now;
}

} // namespace

bool isPlainFileName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(u'/') && !name.contains(u'\\') && !name.contains(QChar(0));
}

QByteArray encodeManifest(const QList<DownloadedTrackInfo>& entries) {
    QJsonArray array;
    for (const auto& entry : entries) {
        if (!isPlainFileName(entry.filename)) {
            continue;
        }
        QJsonObject object;
        object.insert(QStringLiteral("id"), entry.id);
        object.insert(QStringLiteral("name"), entry.name);
        object.insert(QStringLiteral("filename"), entry.filename);
        object.insert(QStringLiteral("dateAdded"), entry.dateAdded.toUTC().toString(Qt::ISODate));
        array.append(object);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

std::optional<QList<DownloadedTrackInfo>> decodeManifest(const QByteArray& json, const QDateTime& now,
                                                         QString* error) {
    const auto fail = [error](const QString& reason) -> std::optional<QList<DownloadedTrackInfo>> {
        if (error) {
            *error = reason;
        }
        return std::nullopt;
    };
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (document.isNull()) {
        return fail(parseError.errorString());
    }
    if (!document.isArray()) {
        return fail(QStringLiteral("the manifest is not an array"));
    }
    QList<DownloadedTrackInfo> entries;
    const QJsonArray array = document.array();
    for (qsizetype i = 0; i < array.size(); ++i) {
        if (!array[i].isObject()) {
            return fail(QStringLiteral("entry %1 is not an object").arg(i));
        }
        const QJsonObject object = array[i].toObject();
        for (const auto key : {"id", "name", "filename"}) {
            if (!object.value(QLatin1String(key)).isString()) {
                return fail(QStringLiteral("entry %1 has no string \"%2\"").arg(i).arg(QLatin1String(key)));
            }
        }
        DownloadedTrackInfo entry{object.value(QLatin1String("id")).toString(),
                                  object.value(QLatin1String("name")).toString(),
                                  object.value(QLatin1String("filename")).toString(),
                                  readDate(object.value(QLatin1String("dateAdded")), now)};
        if (isPlainFileName(entry.filename)) {
            entries.append(std::move(entry));
        }
    }
    return entries;
}

} // namespace quelmo::downloads
