#include "downloads/DownloadManifest.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

#include <algorithm>
#include <iterator>

namespace quelmo::downloads {
namespace {

constexpr const char* requiredKeys[] = {"id", "name", "filename"};
// Past this many kept copies something rewrites the manifest badly in a loop; the folder is not
// filled further.
constexpr int maxRejectedCopies = 999;

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
                                                         QString* error, QStringList* skipped) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (document.isNull() || !document.isArray()) {
        if (error) {
            *error = document.isNull() ? parseError.errorString() : QStringLiteral("the manifest is not an array");
        }
        return std::nullopt;
    }
    const auto skip = [skipped](const QString& reason) {
        if (skipped) {
            skipped->append(reason);
        }
    };
    QList<DownloadedTrackInfo> entries;
    const QJsonArray array = document.array();
    for (qsizetype i = 0; i < array.size(); ++i) {
        if (!array[i].isObject()) {
            skip(QStringLiteral("entry %1 is not an object").arg(i));
            continue;
        }
        const QJsonObject object = array[i].toObject();
        const auto missing = std::find_if(std::begin(requiredKeys), std::end(requiredKeys),
                                          [&](const char* key) { return !object.value(QLatin1String(key)).isString(); });
        if (missing != std::end(requiredKeys)) {
            skip(QStringLiteral("entry %1 has no string \"%2\"").arg(i).arg(QLatin1String(*missing)));
            continue;
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

std::optional<QString> setRejectedManifestAside(const QString& manifestPath, QString* error) {
    // A dangling link holds its name as well as a file does.
    const auto taken = [](const QString& path) { return QFileInfo(path).exists() || QFileInfo(path).isSymLink(); };
    for (int n = 0; n <= maxRejectedCopies; ++n) {
        const QString candidate = manifestPath + QStringLiteral(".bad") + (n == 0 ? QString() : u'.' + QString::number(n));
        if (taken(candidate)) {
            continue;
        }
        // The rename never replaces a file: one that appeared meanwhile sends it to the next name.
        QFile manifest(manifestPath);
        if (manifest.rename(candidate)) {
            return candidate;
        }
        if (!taken(candidate)) {
            if (error) {
                *error = manifest.errorString();
            }
            return std::nullopt;
        }
    }
    if (error) {
        *error = QStringLiteral("%1 rejected copies are kept already").arg(maxRejectedCopies + 1);
    }
    return std::nullopt;
}

} // namespace quelmo::downloads
