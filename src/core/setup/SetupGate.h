#pragma once

#include <QSettings>
#include <QStringList>

namespace quelmo::SetupGate {

// User-defaults key written when the user leaves the setup screen through its launch action.
inline constexpr auto setupSeenKey = "QuelmoSetupSeen";

// The places a yt-dlp install is looked for at start-up, in order.
QStringList defaultYtdlpProbePaths();

// True when a file exists at any of paths (existence only, not executability).
bool ytdlpQuickCheck(const QStringList& paths);

// Whether the deck shows straight away: the stored flag OR a yt-dlp found at one of probePaths.
// Both are always evaluated, so a machine with yt-dlp in a standard place skips the setup screen
// even on its first launch.
bool initialSetupDone(const QSettings& settings, const QStringList& probePaths);

// Stores the flag as true; nothing ever sets it back.
void markSetupSeen(QSettings& settings);

} // namespace quelmo::SetupGate
