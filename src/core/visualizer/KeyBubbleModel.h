#pragma once

#include <QAbstractListModel>
#include <QString>
#include <QUuid>

#include <vector>

namespace quelmo {

// The key bubbles on show, oldest first, as a list model: a new bubble is one inserted row and an
// expired one one removed row, so a view makes or drops that bubble's delegate alone and the
// bubbles already up keep their animations. Roles: key, x, y, color.
class KeyBubbleModel final : public QAbstractListModel {
    Q_OBJECT

public:
    struct Bubble {
        QUuid id;
        QString key;       // the key's characters, upper-cased
        double x = 0.0;    // where the bubble is drawn, in points
        double y = 0.0;
        QString color;     // "#rrggbb"
    };
    enum Role { KeyRole = Qt::UserRole + 1, XRole, YRole, ColorRole };

    using QAbstractListModel::QAbstractListModel;

    void append(Bubble bubble);
    // Drops the bubble with that id; false when there is none.
    bool remove(const QUuid& id);
    const std::vector<Bubble>& bubbles() const { return bubbles_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    std::vector<Bubble> bubbles_;
};

} // namespace quelmo
