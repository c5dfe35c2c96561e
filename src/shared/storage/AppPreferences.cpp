#include "shared/storage/AppPreferences.h"

namespace quelmo::shared {

QString themeName(Theme theme) {
    switch (theme) {
    case Theme::light:
        return QStringLiteral("light");
    case Theme::dark:
        return QStringLiteral("dark");
    case Theme::system:
        return QStringLiteral("system");
    }
    return {};
}

std::optional<Theme> themeFromName(const QString& name) {
    for (Theme theme : {Theme::light, Theme::dark, Theme::system}) {
        if (themeName(theme) == name) {
            return theme;
        }
    }
    return std::nullopt;
}

QJsonObject AppPreferences::toJson() const {
    return {
        {QStringLiteral("launchAtLogin"), launchAtLogin},
        {QStringLiteral("showMenuBarIcon"), showMenuBarIcon},
        {QStringLiteral("keyboardShortcuts"), JsonCodec<QMap<QString, QString>>::encode(keyboardShortcuts)},
        {QStringLiteral("theme"), themeName(theme)},
        {QStringLiteral("reduceMotion"), reduceMotion},
        {QStringLiteral("reduceTransparency"), reduceTransparency}};
}

std::optional<AppPreferences> AppPreferences::fromJson(const QJsonObject& object) {
    const auto launchAtLogin = json::field<bool>(object, QStringLiteral("launchAtLogin"));
    const auto showMenuBarIcon = json::field<bool>(object, QStringLiteral("showMenuBarIcon"));
    const auto shortcuts = json::field<QMap<QString, QString>>(object, QStringLiteral("keyboardShortcuts"));
    const auto themeText = json::field<QString>(object, QStringLiteral("theme"));
    const auto theme = themeText ? themeFromName(*themeText) : std::nullopt;
    const auto reduceMotion = json::field<bool>(object, QStringLiteral("reduceMotion"));
    const auto reduceTransparency = json::field<bool>(object, QStringLiteral("reduceTransparency"));
    if (!launchAtLogin || !showMenuBarIcon || !shortcuts || !theme || !reduceMotion || !reduceTransparency) {
        return std::nullopt;
    }
    AppPreferences preferences;
    preferences.launchAtLogin = *launchAtLogin;
    preferences.showMenuBarIcon = *showMenuBarIcon;
    preferences.keyboardShortcuts = *shortcuts;
    preferences.theme = *theme;
    preferences.reduceMotion = *reduceMotion;
    preferences.reduceTransparency = *reduceTransparency;
    return preferences;
}

} // namespace quelmo::shared
