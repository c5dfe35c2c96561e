#pragma once

#include "shared/storage/StorageManager.h"

namespace quelmo::shared {

// A settings record kept under one key: Derived gives `static const QString settingsKey`,
// `static Derived defaultSettings()` and the JSON record functions (see JsonCodec.h).
template <typename Derived>
struct AppSettings {
    // The stored record, or the defaults when nothing (or nothing readable) is stored.
    static Derived load(const StorageManager& storage = StorageManager::shared()) {
        return storage.get<Derived>(Derived::settingsKey).value_or(Derived::defaultSettings());
    }

    bool save(StorageManager& storage = StorageManager::shared()) const {
        return storage.set(static_cast<const Derived&>(*this), Derived::settingsKey);
    }

    friend bool operator==(const AppSettings&, const AppSettings&) = default;
};

} // namespace quelmo::shared
