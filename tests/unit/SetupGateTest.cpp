#include "setup/SetupGate.h"
#include "shared/storage/StorageManager.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quelmo;

// With yt-dlp found the deck shows at once (the locator's tests check that for every kind of
// install); without it, only once setup was seen.
TEST(SetupGate, WithoutYtDlpTheDeckShowsOnlyOnceSetupWasSeen) {
    QTemporaryDir dir;
    shared::StorageManager settings(dir.filePath(QStringLiteral("settings.ini")));
    const QStringList probes{dir.filePath(QStringLiteral("brew/yt-dlp")), dir.filePath(QStringLiteral("usr/yt-dlp"))};
    const auto nowhere = YtdlpLocator::atPaths(probes);
    EXPECT_FALSE(SetupGate::initialSetupDone(settings, nowhere)) << "a new user sees the setup screen";
    SetupGate::markSetupSeen(settings);
    EXPECT_TRUE(SetupGate::initialSetupDone(settings, nowhere));
}
