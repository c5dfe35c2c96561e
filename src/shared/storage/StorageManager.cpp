#include "shared/storage/StorageManager.h"

#include <QStandardPaths>

namespace quelmo::shared {
namespace {

QString standardSharedDefaultsFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + '/' +
           StorageManager::sharedGroup + QStringLiteral(".conf");
}

} // namespace

StorageManager& StorageManager::shared() {
    static auto* instance = new StorageManager; // never destroyed
    return *instance;
}

StorageManager::StorageManager()
    : defaults_(std::make_unique<QSettings>()), sharedDefaultsFile_(standardSharedDefaultsFile()) {
}

StorageManager::StorageManager(const QString& settingsFile, const QString& sharedDefaultsFile,
                               Keychain keychain)
    : defaults_(std::make_unique<QSettings>(settingsFile, QSettings::IniFormat)),
      sharedDefaultsFile_(sharedDefaultsFile.isEmpty() ? standardSharedDefaultsFile() : sharedDefaultsFile),
      keychain_(std::move(keychain)) {
}

void StorageManager::setObject(const QVariant& value, const QString& key) {
    defaults_->setValue(key, value);
}

QVariant StorageManager::object(const QString& key) const {
    return defaults_->value(key);
}

void StorageManager::remove(const QString& key) {
    defaults_->remove(key);
}

bool StorageManager::saveToKeychain(const QString& value, const QString& account,
                                    const QString& service) const {
    return keychain_.save(value, account, service);
}

std::optional<QString> StorageManager::readFromKeychain(const QString& account,
                                                        const QString& service) const {
    return keychain_.read(account, service);
}

bool StorageManager::deleteFromKeychain(const QString& account, const QString& service) const {
    return keychain_.remove(account, service);
}

std::unique_ptr<QSettings> StorageManager::sharedDefaults() const {
    auto settings = std::make_unique<QSettings>(sharedDefaultsFile_, QSettings::IniFormat);
    if (settings->status() != QSettings::NoError || !settings->isWritable()) {
        return nullptr;
    }
    return settings;
}

void StorageManager::sync() {
    defaults_->sync();
}

} // namespace quelmo::shared
