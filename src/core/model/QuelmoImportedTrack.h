#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <optional>

namespace quelmo {

// One entry of the import list. The id keys every per-track table of the deck.
struct QuelmoImportedTrack {
    Q_GADGET
    Q_PROPERTY(QString id READ idString CONSTANT)
    Q_PROPERTY(QUrl url MEMBER url CONSTANT)
    Q_PROPERTY(QString name MEMBER name CONSTANT)
    Q_PROPERTY(double duration MEMBER duration CONSTANT)
    // The overview levels, empty when there is none.
    Q_PROPERTY(QList<float> waveform READ waveform CONSTANT)

public:
    QuelmoImportedTrack() = default;
    // New random id; the name is the file name without its extension ("My Song.mp3" -> "My Song").
    explicit QuelmoImportedTrack(const QUrl& fileUrl);

    QUuid id;
    QUrl url;
    QString name;
    std::optional<QList<float>> waveformData; // overview levels 0..1, absent until analysed
    double duration = 0.0;

    QList<float> waveform() const { return waveformData.value_or(QList<float>{}); }
    QString idString() const { return id.toString(QUuid::WithoutBraces).toUpper(); }
    friend bool operator==(const QuelmoImportedTrack&, const QuelmoImportedTrack&) = default;
};

} // namespace quelmo

Q_DECLARE_METATYPE(quelmo::QuelmoImportedTrack)
