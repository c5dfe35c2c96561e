#include "setup/SetupGate.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quelmo;

namespace {
struct GateFixture {
    QTemporaryDir dir;
    QString settingsPath() const { return dir.filePath(QStringLiteral("settings.ini")); }
    QString touch(const QString& name) const {
        const QString path = dir.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        return path;
    }
};
} // namespace

TEST(SetupGate, DeckShowsWhenTheFlagIsStoredOrYtDlpIsFound) {
    struct Case {
        const char* what;
        bool flagStored;
        bool toolPresent;
        bool deckShows;
    };
    for (const Case c : {Case{"new user without yt-dlp", false, false, false},
                         Case{"new user with yt-dlp", false, true, true},
                         Case{"setup seen, no yt-dlp", true, false, true},
                         Case{"setup seen, with yt-dlp", true, true, true}}) {
        SCOPED_TRACE(c.what);
        GateFixture f;
        QSettings settings(f.settingsPath(), QSettings::IniFormat);
        if (c.flagStored) {
            SetupGate::markSetupSeen(settings);
        }
        QStringList probes{f.dir.filePath(QStringLiteral("brew/yt-dlp")), f.dir.filePath(QStringLiteral("usr/yt-dlp"))};
        if (c.toolPresent) {
            probes.append(f.touch(QStringLiteral("yt-dlp")));
        }
        EXPECT_EQ(SetupGate::initialSetupDone(settings, probes), c.deckShows);
    }
}

TEST(SetupGate, StoredFlagSurvivesIntoTheNextLaunch) {
    GateFixture f;
    {
        QSettings first(f.settingsPath(), QSettings::IniFormat);
        EXPECT_FALSE(SetupGate::initialSetupDone(first, {}));
        SetupGate::markSetupSeen(first);
    }
    QSettings next(f.settingsPath(), QSettings::IniFormat);
    EXPECT_TRUE(next.value(QStringLiteral("QuelmoSetupSeen")).toBool());
    EXPECT_TRUE(SetupGate::initialSetupDone(next, {}));
}

TEST(SetupGate, ProbesTheThreeStandardPlacesByExistenceOnly) {
    EXPECT_EQ(SetupGate::defaultYtdlpProbePaths(),
              (QStringList{"/opt/homebrew/bin/yt-dlp", "/usr/local/bin/yt-dlp", "/usr/bin/yt-dlp"}));
    GateFixture f;
    const QString notExecutable = f.touch(QStringLiteral("yt-dlp"));
    QFile::setPermissions(notExecutable, QFileDevice::ReadOwner);
    EXPECT_TRUE(SetupGate::ytdlpQuickCheck({QStringLiteral("/nonexistent/yt-dlp"), notExecutable}));
    EXPECT_FALSE(SetupGate::ytdlpQuickCheck({QStringLiteral("/nonexistent/yt-dlp")}));
}
