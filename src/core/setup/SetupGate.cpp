#include "setup/SetupGate.h"

#include <QFileInfo>

namespace quelmo::SetupGate {

QStringList defaultYtdlpProbePaths() {
    return {QStringLiteral("/opt/homebrew/bin/yt-dlp"), QStringLiteral("/usr/local/bin/yt-dlp"),
            QStringLiteral("/usr/bin/yt-dlp")};
}

bool ytdlpQuickCheck(const QStringList& paths) {
    for (const auto& path : paths) {
        if (QFileInfo::exists(path)) {
            return true;
        }
    }
    return false;
}

bool initialSetupDone(const QSettings& settings, const QStringList& probePaths) {
    const bool seen = settings.value(QLatin1String(setupSeenKey), false).toBool();
    const bool found = ytdlpQuickCheck(probePaths);
    return seen || found;
}

void markSetupSeen(QSettings& settings) {
    settings.setValue(QLatin1String(setupSeenKey), true);
    settings.sync();
}

} // namespace quelmo::SetupGate
