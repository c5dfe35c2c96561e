#pragma once

#include "shared/storage/AppSettings.h"

#include <QJsonObject>
#include <QMap>
#include <QString>

#include <optional>

namespace quelmo::shared {

enum class Theme { light, dark, system };
// "light", "dark", "system".
QString themeName(Theme theme);
std::optional<Theme> themeFromName(const QString& name);

// The preferences every application of the family keeps, stored under "appPreferences".
struct AppPreferences : AppSettings<AppPreferences> {
    static inline const QString settingsKey = QStringLiteral("appPreferences");
    static AppPreferences defaultSettings() { return {}; }

    bool launchAtLogin = false;
    bool showMenuBarIcon = true;
    QMap<QString, QString> keyboardShortcuts;
    Theme theme = Theme::system;
    bool reduceMotion = false;
    bool reduceTransparency = false;

    QJsonObject toJson() const;
    // None unless every field is there with its type and the theme is one of the three names.
    static std::optional<AppPreferences> fromJson(const QJsonObject& object);

    friend bool operator==(const AppPreferences&, const AppPreferences&) = default;
};

} // namespace quelmo::shared
