#include "setup/SetupGate.h"
#include "shared/storage/StorageManager.h"

#include <QFile>
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
        shared::StorageManager settings(f.settingsPath());
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
