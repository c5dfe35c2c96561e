#include "tracks/ImportedTrackListModel.h"

#include <QSet>

namespace quelmo::tracks {

void ImportedTrackListModel::sync(const QList<QuelmoImportedTrack>& tracks) {
    QSet<QUuid> kept;
    kept.reserve(tracks.size());
    for (const auto& track : tracks) {
        kept.insert(track.id);
    }
    for (qsizetype row = rows_.size() - 1; row >= 0; --row) {
        if (!kept.contains(rows_[row].id)) {
            qsizetype first = row;
            while (first > 0 && !kept.contains(rows_[first - 1].id)) {
                --first;
            }
            beginRemoveRows({}, static_cast<int>(first), static_cast<int>(row));
            rows_.remove(first, row - first + 1);
            endRemoveRows();
            row = first;
        }
    }
    // What is left is in the new list's order: walk both, inserting what is new.
    for (qsizetype i = 0; i < tracks.size(); ++i) {
        if (i < rows_.size() && rows_[i].id == tracks[i].id) {
            if (!(rows_[i] == tracks[i])) {
                rows_[i] = tracks[i];
                emit dataChanged(index(static_cast<int>(i)), index(static_cast<int>(i)));
            }
            continue;
        }
        // tracks[i] up to the entry already held at row i are new.
        qsizetype end = tracks.size();
        if (i < rows_.size()) {
            end = i;
            while (end < tracks.size() && tracks[end].id != rows_[i].id) {
                ++end;
            }
        }
        beginInsertRows({}, static_cast<int>(i), static_cast<int>(end - 1));
        for (qsizetype j = i; j < end; ++j) {
            rows_.insert(j, tracks[j]);
        }
        endInsertRows();
        i = end - 1;
    }
}

int ImportedTrackListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant ImportedTrackListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_.size()) {
        return {};
    }
    const auto& track = rows_[index.row()];
    switch (role) {
    case trackRole:
        return QVariant::fromValue(track);
    case idRole:
        return track.idString();
    case nameRole:
    case Qt::DisplayRole:
        return track.name;
    default:
        return {};
    }
}

QHash<int, QByteArray> ImportedTrackListModel::roleNames() const {
    return {{trackRole, "track"}, {idRole, "trackId"}, {nameRole, "name"}};
}

} // namespace quelmo::tracks
