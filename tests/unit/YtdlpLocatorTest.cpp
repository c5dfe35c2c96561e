#include "setup/YtdlpLocator.h"

#include "deck/QuelmoViewModel.h"
#include "engine/AudioEngine.h"
#include "engine/AudioNodes.h"
#include "downloads/DownloadsController.h"
#include "engine/devices/OfflineDriver.h"
#include "setup/SetupFlow.h"
#include "setup/SetupGate.h"
#include "setup/YtdlpInstaller.h"
#include "support/EventLoop.h"
#include "support/Files.h"
#include "shared/Log.h"
#include "shared/storage/StorageManager.h"
#include "support/ScopedEnv.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

using namespace quelmo;

namespace {

// The process works in folder until the end of the scope.
class ScopedCurrentFolder {
public:
    explicit ScopedCurrentFolder(const QString& folder) : previous_(QDir::currentPath()) {
        QDir::setCurrent(folder);
    }
    ~ScopedCurrentFolder() { QDir::setCurrent(previous_); }
    ScopedCurrentFolder(const ScopedCurrentFolder&) = delete;
    ScopedCurrentFolder& operator=(const ScopedCurrentFolder&) = delete;

private:
    QString previous_;
};

// A home folder and a few more folders of the test's own. A stand-in yt-dlp notes the path it was
// started as ($0) and fails at once.
struct Machine {
    QTemporaryDir root;
    QString home = root.filePath(QStringLiteral("home"));
    QString pipBin = home + QStringLiteral("/.local/bin");
    QString venvBin = root.filePath(QStringLiteral("venv/bin"));
    QString pipxVenv = root.filePath(QStringLiteral("pipx/venvs/yt-dlp/bin"));
    QString work = root.filePath(QStringLiteral("work"));
    QString emptyBin = root.filePath(QStringLiteral("empty"));
    QString startedAs = root.filePath(QStringLiteral("started-as"));

    Machine() {
        for (const QString& folder : {pipBin, venvBin, pipxVenv, work, emptyBin}) {
            EXPECT_TRUE(QDir().mkpath(folder));
        }
    }
    // {home}, {venv} and {empty} in text become those folders.
    QString expand(QString text) const {
        return text.replace(QStringLiteral("{home}"), home)
            .replace(QStringLiteral("{venv}"), venvBin)
            .replace(QStringLiteral("{empty}"), emptyBin);
    }
    void standIn(const QString& folder, bool executable = true) const {
        const QByteArray script = "#!/bin/sh\nprintf '%s' \"$0\" >'" + startedAs.toUtf8() +
                                  "'\necho 'ERROR: stand-in' >&2\nexit 1\n";
        (executable ? test::writeProgram : test::writeFile)(folder + QStringLiteral("/yt-dlp"), script);
    }
    QString started() const { return QString::fromUtf8(test::readFile(startedAs)); }
};

// The path the deck's DOWNLOAD starts yt-dlp as; empty when it started none.
QString programTheDeckRuns(const Machine& machine) {
    QFile::remove(machine.startedAs);
    QuelmoViewModel::Dependencies deps;
    deps.documentsDir = machine.root.filePath(QStringLiteral("documents"));
    deps.makeAudioDriver = [] { return std::make_unique<engine::OfflineDriver>(); };
    QuelmoViewModel deck(deps);
    test::spinFor(20);
    deck.downloads()->setYoutubeURL(QStringLiteral("https://youtu.be/abc"));
    deck.downloads()->downloadYouTubeAudio();
    EXPECT_TRUE(test::spinUntil([&] { return !deck.downloads()->isDownloading(); }, 15000));
    return machine.started();
}

// Whether the installer has nothing to do: it reports yt-dlp installed without running a step.
// Its privileged helper and its download point at nothing, so no step could succeed.
std::optional<bool> installerAnswer(const Machine& machine) {
    YtdlpInstallerOptions options;
    options.releaseBase = QStringLiteral("http://127.0.0.1:9/");
    options.installTarget = machine.root.filePath(QStringLiteral("target/yt-dlp"));
    options.pkexec = machine.root.filePath(QStringLiteral("no-pkexec"));
    YtdlpInstaller installer(options);
    std::optional<bool> outcome;
    installer.install([&](bool ok) { outcome = ok; });
    test::spinUntil([&] { return outcome.has_value(); }, 10'000);
    EXPECT_TRUE(installer.failureReport().isEmpty()) << installer.failureReport().toStdString();
    return outcome;
}

} // namespace

TEST(YtdlpLocator, TheSetupScreenTheDeckAndTheInstallerAllFindTheSameInstall) {
    enum Kind { program, notExecutable, linkIntoAVenv };
    struct Install {
        const char* folder; // "." is the current folder
        Kind kind = program;
    };
    struct Case {
        const char* what;
        const char* path; // the session's PATH
        std::vector<Install> installs;
        const char* expected;
    };
    const Case cases[] = {
        {"pip --user, ~/.local/bin not on PATH",
         "{empty}",
         {{"{home}/.local/bin"}},
         "{home}/.local/bin/yt-dlp"},
        {"pipx: a link in ~/.local/bin, run as the link",
         "{home}/.local/bin",
         {{"{home}/.local/bin", linkIntoAVenv}},
         "{home}/.local/bin/yt-dlp"},
        {"a virtual environment on PATH comes before pip's",
         "{empty}:{venv}",
         {{"{venv}"}, {"{home}/.local/bin"}},
         "{venv}/yt-dlp"},
        {"relative PATH entries are never searched",
         ".::{empty}",
         {{"."}, {"{home}/.local/bin"}},
         "{home}/.local/bin/yt-dlp"},
        {"a file that cannot run is passed over",
         "{venv}",
         {{"{venv}", notExecutable}, {"{home}/.local/bin"}},
         "{home}/.local/bin/yt-dlp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Machine m;
        for (const Install& install : c.installs) {
            const QString folder = QString::fromUtf8(install.folder);
            const QString where = folder == u"." ? m.work : m.expand(folder);
            if (install.kind == linkIntoAVenv) {
                m.standIn(m.pipxVenv);
                ASSERT_TRUE(QFile::link(m.pipxVenv + "/yt-dlp", where + "/yt-dlp"));
            } else {
                m.standIn(where, install.kind == program);
            }
        }
        const QString expected = m.expand(QString::fromUtf8(c.expected));
        ScopedCurrentFolder inWork(m.work);
        test::ScopedEnv home("HOME", m.home.toStdString());
        test::ScopedEnv path("PATH", m.expand(QString::fromUtf8(c.path)).toStdString());
        test::ScopedEnv probes("QUELMO_YTDLP_PROBE_PATHS", std::nullopt);
        ScopedLogCapture log;

        EXPECT_EQ(locateYtdlp().value_or(QString()).toStdString(), expected.toStdString());
        // The setup screen: its start-up gate and its presence test.
        shared::StorageManager settings(m.root.filePath(QStringLiteral("settings.ini")));
        EXPECT_TRUE(SetupGate::initialSetupDone(settings, YtdlpLocator::fromEnvironment()));
        EXPECT_TRUE(SetupFlow::defaultDependencies().isInstalled());
        // The deck: DOWNLOAD runs that very file, by its absolute path.
        EXPECT_EQ(programTheDeckRuns(m).toStdString(), expected.toStdString());
        // The installer: nothing left to do.
        EXPECT_EQ(installerAnswer(m), true);
    }
}

TEST(YtdlpLocator, SearchesPathFirstThenWhereInstallsLand) {
    EXPECT_EQ(YtdlpLocator::searchDirectories(QStringLiteral("/opt/tools/bin/:bin::/usr/bin:/opt/tools/bin"),
                                              QStringLiteral("/home/ada")),
              (QStringList{"/opt/tools/bin", "/usr/bin", "/home/ada/.local/bin", "/usr/local/bin",
                           "/home/linuxbrew/.linuxbrew/bin"}));
    EXPECT_EQ(YtdlpLocator::searchDirectories({}, {}),
              (QStringList{"/usr/local/bin", "/usr/bin", "/home/linuxbrew/.linuxbrew/bin"}));
}
