#include "setup/SetupGate.h"

#include "shared/storage/StorageManager.h"

namespace quelmo::SetupGate {

bool initialSetupDone(const shared::StorageManager& settings, const YtdlpLocator& ytdlp) {
    const bool seen = settings.object(QLatin1String(setupSeenKey)).toBool();
    const bool found = ytdlp.find().has_value();
    return seen || found;
}

void markSetupSeen(shared::StorageManager& settings) {
    settings.setObject(true, QLatin1String(setupSeenKey));
    settings.sync();
}

} // namespace quelmo::SetupGate
