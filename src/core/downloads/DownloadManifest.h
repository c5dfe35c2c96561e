#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace quelmo::downloads {

// One entry of the downloads manifest (downloads.json). Only `filename` is used when loading; the
// other fields are written for people reading the file.
struct DownloadedTrackInfo {
    QString id;       // upper-case canonical UUID
    QString name;
    QString filename; // a plain file name inside the downloads folder
    QDateTime dateAdded;

    friend bool operator==(const DownloadedTrackInfo&, const DownloadedTrackInfo&) = default;
};

// A name that stays inside the folder it is joined to: not empty, not "." or "..", no path
// separator (either slash) and no NUL. Entries failing this are never read nor written.
bool isPlainFileName(const QString& name);

// The manifest text: a pretty-printed JSON array, one object per entry in order, with the keys
// "id", "name", "filename" and "dateAdded" (ISO 8601 in UTC, whole seconds, e.g.
// 2026-12-04T17:12:48Z). Entries whose filename is not plain are left out.
QByteArray encodeManifest(const QList<DownloadedTrackInfo>& entries);

// Reads a manifest. The whole manifest is rejected (absent, with the reason in *error) only when it
// is not JSON or not an array. A damaged entry (not an object, or lacking a string "id", "name" or
// "filename") is skipped, its reason appended to *skipped, and the others are kept. "dateAdded" may
// be a number of seconds since 2001-01-01 00:00:00 UTC, or an ISO 8601 date-time with or without
// fractional seconds; anything else (missing, another type, an unreadable string) reads as `now`.
// Entries whose filename is not plain are skipped. Unknown keys are ignored.
std::optional<QList<DownloadedTrackInfo>> decodeManifest(const QByteArray& json, const QDateTime& now,
                                                         QString* error = nullptr, QStringList* skipped = nullptr);

// Moves a manifest that was rejected as a whole out of the way before anything rewrites it: to the
// first free name of "<manifest>.bad", "<manifest>.bad.1", "<manifest>.bad.2", ..., so an earlier
// rejected copy is never overwritten. Returns the name it now has, or nothing (with the reason in
// *error) when it could not be moved; it is then where it was.
std::optional<QString> setRejectedManifestAside(const QString& manifestPath, QString* error = nullptr);

} // namespace quelmo::downloads
