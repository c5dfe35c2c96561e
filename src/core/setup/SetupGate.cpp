#include "setup/SetupGate.h"

namespace quelmo::SetupGate {

bool initialSetupDone(const QSettings& settings, const YtdlpLocator& ytdlp) {
    const bool seen = settings.value(QLatin1String(setupSeenKey), false).toBool();
    const bool found = ytdlp.find().has_value();
    return seen || found;
}

void markSetupSeen(QSettings& settings) {
    settings.setValue(QLatin1String(setupSeenKey), true);
    settings.sync();
}

} // namespace quelmo::SetupGate
