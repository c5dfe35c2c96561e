#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QMap>
#include <QString>

#include <concepts>
#include <limits>
#include <optional>

namespace quelmo::shared {

// Typed values to and from JSON, for the values StorageManager stores. A record type takes part by
// giving itself `QJsonObject toJson() const` and `static std::optional<T> fromJson(const
// QJsonObject&)`; decoding fails (none) when a field is missing or has the wrong type, so a value
// written by some other shape of the record reads as absent. Dates are ISO 8601 in UTC with
// milliseconds.
template <typename T>
struct JsonCodec;

template <typename T>
concept JsonRecord = requires(const T& value, const QJsonObject& object) {
    { value.toJson() } -> std::same_as<QJsonObject>;
    { T::fromJson(object) } -> std::same_as<std::optional<T>>;
};

template <JsonRecord T>
struct JsonCodec<T> {
    static QJsonValue encode(const T& value) { return value.toJson(); }
    static std::optional<T> decode(const QJsonValue& json) {
        return json.isObject() ? T::fromJson(json.toObject()) : std::nullopt;
    }
};

template <>
struct JsonCodec<bool> {
    static QJsonValue encode(bool value) { return value; }
    static std::optional<bool> decode(const QJsonValue& json) {
        return json.isBool() ? std::optional(json.toBool()) : std::nullopt;
    }
};

template <>
struct JsonCodec<double> {
    static QJsonValue encode(double value) { return value; }
    static std::optional<double> decode(const QJsonValue& json) {
        return json.isDouble() ? std::optional(json.toDouble()) : std::nullopt;
    }
};

template <>
struct JsonCodec<qint64> {
    static QJsonValue encode(qint64 value) { return value; }
    static std::optional<qint64> decode(const QJsonValue& json) {
        if (!json.isDouble() || json.toDouble() != static_cast<double>(json.toInteger())) {
            return std::nullopt;
        }
        return json.toInteger();
    }
};

template <>
struct JsonCodec<int> {
    static QJsonValue encode(int value) { return value; }
    static std::optional<int> decode(const QJsonValue& json) {
        const auto wide = JsonCodec<qint64>::decode(json);
        if (!wide || *wide < std::numeric_limits<int>::min() || *wide > std::numeric_limits<int>::max()) {
            return std::nullopt;
        }
        return static_cast<int>(*wide);
    }
};

template <>
struct JsonCodec<QString> {
    static QJsonValue encode(const QString& value) { return value; }
    static std::optional<QString> decode(const QJsonValue& json) {
        return json.isString() ? std::optional(json.toString()) : std::nullopt;
    }
};

template <>
struct JsonCodec<QDateTime> {
    static QJsonValue encode(const QDateTime& value) { return value.toUTC().toString(Qt::ISODateWithMs); }
    static std::optional<QDateTime> decode(const QJsonValue& json) {
        if (!json.isString()) {
            return std::nullopt;
        }
        QDateTime date = QDateTime::fromString(json.toString(), Qt::ISODateWithMs);
        return date.isValid() ? std::optional(date.toUTC()) : std::nullopt;
    }
};

template <typename V>
struct JsonCodec<QMap<QString, V>> {
    static QJsonValue encode(const QMap<QString, V>& map) {
        QJsonObject object;
        for (auto it = map.begin(); it != map.end(); ++it) {
            object.insert(it.key(), JsonCodec<V>::encode(it.value()));
        }
        return object;
    }
    static std::optional<QMap<QString, V>> decode(const QJsonValue& json) {
        if (!json.isObject()) {
            return std::nullopt;
        }
        const QJsonObject object = json.toObject();
        QMap<QString, V> map;
        for (auto it = object.begin(); it != object.end(); ++it) {
            auto value = JsonCodec<V>::decode(it.value());
            if (!value) {
                return std::nullopt;
            }
            map.insert(it.key(), *value);
        }
        return map;
    }
};

namespace json {

// Whether a value can be written as JSON: numbers must be finite.
bool isEncodable(const QJsonValue& value);

// The compact JSON text of any value (object, array or scalar); none when it is not encodable.
std::optional<QByteArray> write(const QJsonValue& value);
// The value of JSON text (object, array or scalar); none when it does not parse.
std::optional<QJsonValue> read(const QByteArray& text);

template <typename T>
std::optional<QByteArray> encode(const T& value) {
    return write(JsonCodec<T>::encode(value));
}

template <typename T>
std::optional<T> decode(const QByteArray& text) {
    const auto value = read(text);
    return value ? JsonCodec<T>::decode(*value) : std::nullopt;
}

// A record's field, decoded; none when missing or of the wrong type.
template <typename T>
std::optional<T> field(const QJsonObject& object, const QString& key) {
    const auto it = object.find(key);
    return it == object.end() ? std::nullopt : JsonCodec<T>::decode(*it);
}

// An optional field: absent or null reads as none (a valid result); a wrong type fails.
template <typename T>
std::optional<std::optional<T>> optionalField(const QJsonObject& object, const QString& key) {
    const auto it = object.find(key);
    if (it == object.end() || it->isNull()) {
        return std::optional<T>{};
    }
    auto value = JsonCodec<T>::decode(*it);
    return value ? std::optional<std::optional<T>>(std::move(value)) : std::nullopt;
}

} // namespace json
} // namespace quelmo::shared
