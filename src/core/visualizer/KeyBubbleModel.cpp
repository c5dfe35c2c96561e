#include "visualizer/KeyBubbleModel.h"

#include <algorithm>

namespace quelmo {

void KeyBubbleModel::append(Bubble bubble) {
    const int row = static_cast<int>(bubbles_.size());
    beginInsertRows({}, row, row);
    bubbles_.push_back(std::move(bubble));
    endInsertRows();
}

bool KeyBubbleModel::remove(const QUuid& id) {
    const auto found = std::find_if(bubbles_.begin(), bubbles_.end(), [&](const Bubble& b) { return b.id == id; });
    if (found == bubbles_.end()) {
        return false;
    }
    const int row = static_cast<int>(found - bubbles_.begin());
    beginRemoveRows({}, row, row);
    bubbles_.erase(found);
    endRemoveRows();
    return true;
}

int KeyBubbleModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(bubbles_.size());
}

QVariant KeyBubbleModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= rowCount()) {
        return {};
    }
    const Bubble& b = bubbles_[static_cast<std::size_t>(index.row())];
    switch (role) {
    case KeyRole: return b.key;
    case XRole: return b.x;
    case YRole: return b.y;
    case ColorRole: return b.color;
    default: return {};
    }
}

QHash<int, QByteArray> KeyBubbleModel::roleNames() const {
    return {{KeyRole, "key"}, {XRole, "x"}, {YRole, "y"}, {ColorRole, "color"}};
}

} // namespace quelmo
