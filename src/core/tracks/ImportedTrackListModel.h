#pragma once

#include "model/QuelmoImportedTrack.h"

#include <QAbstractListModel>
#include <QList>

namespace quelmo::tracks {

// The import list as an item model, so a list view creates rows only for what it shows and a
// change to one entry redraws one row. It follows the controller's list: sync() compares the new
// list with the one it holds and reports removed rows, inserted rows and changed rows. Entries are
// only ever appended, removed or updated in place, never reordered.
class ImportedTrackListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { trackRole = Qt::UserRole + 1, idRole, nameRole };

    using QAbstractListModel::QAbstractListModel;

    void sync(const QList<QuelmoImportedTrack>& tracks);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    QList<QuelmoImportedTrack> rows_;
};

} // namespace quelmo::tracks
