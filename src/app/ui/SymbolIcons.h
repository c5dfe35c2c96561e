#pragma once

#include <QQuickImageProvider>
#include <QString>

namespace quelmo {

// The deck names its icons as symbol names ("play.fill", "waveform.circle.fill", ...). This is the
// one place that maps them to the Adwaita icon theme's symbolic icons, installed from Debian.
QString themeIconForSymbol(const QString& symbol);
// The SVG file of a theme icon, or an empty string when the theme does not have it.
QString themeIconFile(const QString& themeIcon);

// "image://symbol/<symbol name>/<hex colour>": the symbol's icon, tinted.
class SymbolImageProvider final : public QQuickImageProvider {
public:
    SymbolImageProvider();
    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;
};

} // namespace quelmo
