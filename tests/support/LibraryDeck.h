#pragma once

#include "deck/QuelmoViewModel.h"
#include "engine/devices/OfflineDriver.h"
#include "shared/Log.h"
#include "support/EventLoop.h"
#include "support/Files.h"
#include "tracks/TracksController.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

// A deck on a temporary Documents folder, for the downloads library and the YouTube downloads
// that fill it, with helpers to write and read the folder's files and its manifest.
namespace quelmo::test {

inline const QDateTime now = QDateTime(QDate(2026, 12, 7), QTime(9, 30), QTimeZone::utc());

inline QByteArray manifestOf(const QString& entriesJson) { return ("[" + entriesJson + "]").toUtf8(); }

inline QStringList manifestFilenames(const QString& path) {
    QStringList names;
    for (const auto& value : QJsonDocument::fromJson(readFile(path)).array()) {
        names.append(value.toObject().value("filename").toString());
    }
    return names;
}

// The log's lines about the manifest (the analyses of these files that are no audio log too).
inline std::vector<QString> manifestLines(const ScopedLogCapture& log) {
    std::vector<QString> out;
    for (const auto& line : log.lines()) {
        if (line.contains("manifest")) {
            out.push_back(line);
        }
    }
    return out;
}

// "filename dateAdded" of each entry, in order.
inline QStringList manifestDates(const QString& path) {
    QStringList dates;
    for (const auto& value : QJsonDocument::fromJson(readFile(path)).array()) {
        const QJsonObject entry = value.toObject();
        dates.append(entry.value("filename").toString() + ' ' + entry.value("dateAdded").toString());
    }
    return dates;
}

// A deck on a temporary Documents folder and a wall clock the test sets; it restores its library
// as it starts.
struct LibraryDeck {
    QTemporaryDir documents;
    QString folder = documents.filePath("Quelmo Downloads");
    QString manifest = folder + "/downloads.json";
    QDateTime clock = now;
    std::unique_ptr<QuelmoViewModel> model;

    void start() {
        model.reset(); // one deck at a time on the folder
        QuelmoViewModel::Dependencies deps;
        deps.documentsDir = documents.path();
        deps.makeAudioDriver = [] { return std::make_unique<engine::OfflineDriver>(); };
        deps.wallClock = [this] { return clock; };
        model = std::make_unique<QuelmoViewModel>(deps);
        test::spinFor(20); // the restore runs on the first turn of the event loop
    }
    QStringList names() const {
        QStringList out;
        for (const auto& t : model->tracks()->importedTracks()) {
            out.append(QFileInfo(t.url.toLocalFile()).fileName());
        }
        return out;
    }
};

} // namespace quelmo::test
