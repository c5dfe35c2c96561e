#pragma once

#include "shared/storage/JsonCodec.h"
#include "shared/storage/Keychain.h"

#include <QSettings>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

namespace quelmo::shared {

// The application's preferences and secrets: typed values JSON-encoded into QSettings, plain
// QSettings values, a settings file shared by the family of applications, and the Secret Service
// keychain. Use from one thread (QSettings is not shared between threads here).
class StorageManager {
public:
    // The keychain service items are stored under when the caller names none.
    static inline const QString defaultKeychainService = QStringLiteral("org.quelmo.shared");
    // The group whose settings file the applications of the family share.
    static inline const QString sharedGroup = QStringLiteral("group.org.quelmo.shared");

    // The process-wide instance on the application's standard settings (QSettings() with the
    // application's organisation and name).
    static StorageManager& shared();

    // The standard settings and shared file, and the default keychain collection.
    StorageManager();
    // Settings kept in settingsFile (INI); the shared group's file is sharedDefaultsFile (the
    // standard one when empty).
    explicit StorageManager(const QString& settingsFile, const QString& sharedDefaultsFile = {},
                            Keychain keychain = Keychain());

    // Stores the JSON text of value under key; an unencodable value (a non-finite number) stores
    // nothing and returns false.
    template <typename T>
    bool set(const T& value, const QString& key) {
        const auto text = json::encode(value);
        if (text) {
            defaults_->setValue(key, *text);
        }
        return text.has_value();
    }

    // The value under key decoded from JSON; none when absent or not a T.
    template <typename T>
    std::optional<T> get(const QString& key) const {
        const QVariant stored = defaults_->value(key);
        if (!stored.isValid() || !stored.canConvert<QByteArray>()) {
            return std::nullopt;
        }
        return json::decode<T>(stored.toByteArray());
    }

    // A plain settings value, stored and read unchanged.
    void setObject(const QVariant& value, const QString& key);
    QVariant object(const QString& key) const;
    void remove(const QString& key);

    bool saveToKeychain(const QString& value, const QString& account,
                        const QString& service = defaultKeychainService) const;
    std::optional<QString> readFromKeychain(const QString& account,
                                            const QString& service = defaultKeychainService) const;
    bool deleteFromKeychain(const QString& account, const QString& service = defaultKeychainService) const;

    // The settings of the shared group; none when its file cannot be read or written.
    std::unique_ptr<QSettings> sharedDefaults() const;
    // The file sharedDefaults() opens.
    QString sharedDefaultsFile() const { return sharedDefaultsFile_; }

    // Writes pending changes to disk and reloads changes made by other processes.
    void sync();

private:
    std::unique_ptr<QSettings> defaults_;
    QString sharedDefaultsFile_;
    Keychain keychain_;
};

} // namespace quelmo::shared
