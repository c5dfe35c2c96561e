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
    QString program(const QString& name) const {
        const QString path = dir.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
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
            probes.append(f.program(QStringLiteral("yt-dlp")));
        }
        EXPECT_EQ(SetupGate::initialSetupDone(settings, YtdlpLocator::atPaths(probes)), c.deckShows);
    }
}

TEST(SetupGate, StoredFlagSurvivesIntoTheNextLaunch) {
    GateFixture f;
    {
        QSettings first(f.settingsPath(), QSettings::IniFormat);
        EXPECT_FALSE(SetupGate::initialSetupDone(first, YtdlpLocator::atPaths({})));
        SetupGate::markSetupSeen(first);
    }
    QSettings next(f.settingsPath(), QSettings::IniFormat);
    EXPECT_TRUE(next.value(QStringLiteral("QuelmoSetupSeen")).toBool());
    EXPECT_TRUE(SetupGate::initialSetupDone(next, YtdlpLocator::atPaths({})));
}
