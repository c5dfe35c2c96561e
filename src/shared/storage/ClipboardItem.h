#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace quelmo::shared {

// One entry of a clipboard history, as RecordStore keeps it.
struct ClipboardItem {
    qint64 id = 0; // the store's key; 0 until inserted
    QString content;
    QDateTime timestamp;
    std::optional<QString> appSource; // the application it was copied from, when known
    bool isPinned = false;

    ClipboardItem() = default;
    // A new, unpinned item copied at now.
    explicit ClipboardItem(QString text, std::optional<QString> source = std::nullopt,
                           QDateTime now = QDateTime::currentDateTimeUtc())
        : content(std::move(text)), timestamp(std::move(now)), appSource(std::move(source)) {}

    friend bool operator==(const ClipboardItem&, const ClipboardItem&) = default;
};

} // namespace quelmo::shared
