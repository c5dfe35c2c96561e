#pragma once

#include "setup/YtdlpLocator.h"

namespace quelmo::shared {
class StorageManager;
}

namespace quelmo::SetupGate {

// Settings key written when the user leaves the setup screen through its launch action.
inline constexpr auto setupSeenKey = "QuelmoSetupSeen";

// Whether the deck shows straight away: the stored flag OR a yt-dlp that ytdlp finds. Both are
// always evaluated, so a machine with yt-dlp installed skips the setup screen even on its first
// launch.
bool initialSetupDone(const shared::StorageManager& settings, const YtdlpLocator& ytdlp);

// Stores the flag as true; nothing ever sets it back.
void markSetupSeen(shared::StorageManager& settings);

} // namespace quelmo::SetupGate
