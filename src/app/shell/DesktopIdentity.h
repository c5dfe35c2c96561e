#pragma once

#include <QString>

namespace quelmo {

// The one name the desktop knows Quelmo by: the desktop entry, the icon, the AppStream data,
// the window's class (X11) and app id (Wayland) all use `appId`. The settings keep living under
// the display name ("Quelmo/Quelmo.conf"), as they always have.
struct DesktopIdentity {
    static inline const QString appId = QStringLiteral("org.quelmo.quelmo");
    static inline const QString displayName = QStringLiteral("Quelmo");
    static QString version();
};

} // namespace quelmo
