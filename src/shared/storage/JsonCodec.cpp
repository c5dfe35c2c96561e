#include "shared/storage/JsonCodec.h"

#include <algorithm>
#include <cmath>

namespace quelmo::shared::json {

bool isEncodable(const QJsonValue& value) {
    if (value.isDouble()) {
        return std::isfinite(value.toDouble());
    }
    if (value.isArray()) {
        const QJsonArray array = value.toArray();
        return std::all_of(array.begin(), array.end(),
                           [](const QJsonValue& item) { return isEncodable(item); });
    }
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        return std::all_of(object.begin(), object.end(),
                           [](const QJsonValue& item) { return isEncodable(item); });
    }
    return !value.isUndefined();
}

// QJsonDocument holds objects and arrays only: a scalar travels as the one item of an array, and
// the brackets come off (or go on) at the edge.
std::optional<QByteArray> write(const QJsonValue& value) {
    if (!isEncodable(value)) {
        return std::nullopt;
    }
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return wrapped.mid(1, wrapped.size() - 2);
}

std::optional<QJsonValue> read(const QByteArray& text) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson('[' + text + ']', &error);
    if (error.error != QJsonParseError::NoError || !document.isArray() || document.array().size() != 1) {
        return std::nullopt;
    }
    return document.array().first();
}

} // namespace quelmo::shared::json
