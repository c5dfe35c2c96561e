#include "Style.h"

#include "HexColor.h"
#include "overlay/PerformWave.h"

#include <QDir>
#include <QHash>
#include <QStandardPaths>

namespace quelmo {

QColor Style::hex(const QString& text) const { return hexColor(text); }

QColor Style::named(const QString& name) const {
    static const QHash<QString, QString> accents{
        {"red", "ff453a"},  {"orange", "ff9f0a"}, {"yellow", "ffd60a"}, {"green", "30d158"}, {"mint", "63e6e2"},
        {"teal", "40c8e0"}, {"cyan", "64d2ff"},   {"blue", "0a84ff"},   {"indigo", "5e5ce6"}, {"purple", "bf5af2"},
        {"pink", "ff375f"}, {"brown", "ac8e68"},  {"gray", "98989d"},
    };
    return hexColor(accents.value(name, QStringLiteral("ffffff")));
}

QString Style::icon(const QString& symbol, const QColor& tint) const {
    return QStringLiteral("image://symbol/") + symbol + u'/' + tint.name(QColor::HexArgb).mid(1);
}

double Style::waveIntensity(double meter) const { return PerformWave::intensityForMeter(meter); }

QUrl Style::importStartFolder() const {
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    return QUrl::fromLocalFile(!music.isEmpty() && QDir(music).exists() ? music : QDir::homePath());
}

} // namespace quelmo
