#include "keys/FineAdjust.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quelmo::keys {
namespace {

QString printed(const char* format, double value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return QString::fromUtf8(text);
}

} // namespace

FineAdjustTarget fineAdjustTargetFrom(const std::optional<QString>& armedKey) {
    if (!armedKey || armedKey->isEmpty()) {
        return FineAdjustTarget::master;
    }
    const QChar c = armedKey->toLower().front();
    if (c == u'[' || c == u']' || c == u't') {
        return FineAdjustTarget::bpm;
    }
    if (c == u'i' || c == u'y') {
        return FineAdjustTarget::importVol;
    }
    if (c == u'e') {
        return FineAdjustTarget::postFX;
    }
    return FineAdjustTarget::master;
}

QString arrowKeyCaption(Modifiers modifiers, bool up) {
    const QString arrow = up ? QStringLiteral(u"↑") : QStringLiteral(u"↓");
    const bool alt = (modifiers & option) != 0;
    const bool shifted = (modifiers & shift) != 0;
    if (alt && shifted) {
        return QStringLiteral("Alt+Shift+") + arrow;
    }
    if (alt) {
        return QStringLiteral("Alt+") + arrow;
    }
    if (shifted) {
        return QStringLiteral("Shift+") + arrow;
    }
    return arrow;
}

TuningCaption tuningCaption(TuningTarget target, int direction, const TuningLevels& levels) {
    const QString arrow = direction >= 0 ? QStringLiteral(u"↑") : QStringLiteral(u"↓");
    switch (target) {
    case TuningTarget::master:
        return {QStringLiteral("Master ") + arrow, printed("%.0f%%", levels.masterVolume * 100.0), levels.masterVolume};
    case TuningTarget::bpm:
        return {QStringLiteral("Tempo ") + arrow, QString::number(static_cast<long long>(std::trunc(levels.bpm))) + " BPM",
                (levels.bpm - 60.0) / 130.0};
    case TuningTarget::importLevel:
        return {QStringLiteral("Import ") + arrow, printed("%.0f%%", levels.importVolume * 100.0), levels.importVolume};
    case TuningTarget::postFX:
        return {QStringLiteral("Rack makeup ") + arrow, printed("%.2f", levels.postFXGain) + QStringLiteral(u"×"),
                std::min(1.0, levels.postFXGain / 2.5)};
    }
    return {};
}

} // namespace quelmo::keys
