#include "setup/SetupFlow.h"

#include "support/EventLoop.h"
#include "support/ManualScheduler.h"

#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>

using namespace quelmo;
using namespace std::chrono_literals;
using quelmo::test::ManualScheduler;
using quelmo::test::spinUntil;

namespace {

// A flow over a manual clock, a settings file of its own and a presence test and installer that
// answer as told.
struct FlowBench {
    QTemporaryDir dir;
    std::shared_ptr<ManualScheduler> clock = std::make_shared<ManualScheduler>();
    std::atomic<bool> present{false};
    std::atomic<int> presenceTests{0};
    ShellResult installResult;
    QStringList copies;
    std::unique_ptr<SetupFlow> flow;
    int launches = 0;
    int copiedChanges = 0;

    FlowBench() {
        SetupFlow::Dependencies deps;
        deps.scheduler = clock;
        deps.isInstalled = [this] {
            ++presenceTests;
            return present.load();
        };
        deps.runInstall = [this] { return installResult; };
        deps.copyText = [this](const QString& text) { copies.append(text); };
        deps.settingsFile = settingsFile();
        flow = std::make_unique<SetupFlow>(std::move(deps));
        QObject::connect(flow.get(), &SetupFlow::launched, [this] { ++launches; });
        QObject::connect(flow.get(), &SetupFlow::copiedChanged, [this] { ++copiedChanges; });
    }
    QString settingsFile() const { return dir.filePath(QStringLiteral("settings.ini")); }
    bool setupSeenStored() const {
        return QSettings(settingsFile(), QSettings::IniFormat).value(QStringLiteral("QuelmoSetupSeen")).toBool();
    }
    bool reaches(SetupFlow::SetupState state) {
        return spinUntil([&] { return flow->state() == state; });
    }
    void checkAndSettle() {
        flow->checkInstallation();
        clock->advance(SetupFlow::checkDelay);
    }
};

ShellResult exited(int status, const QString& output) {
    ShellResult result;
    result.launched = true;
    result.exitCode = status;
    result.output = output;
    return result;
}

} // namespace

TEST(SetupFlow, FindsTheToolAfterSixTenthsOfASecondThenLaunchesOnItsOwnAndStoresTheFlag) {
    FlowBench b;
    b.present = true;
    b.flow->checkInstallation();
    EXPECT_EQ(b.flow->state(), SetupFlow::checking);
    EXPECT_EQ(b.flow->stateName(), "checking");
    b.clock->advance(599ms);
    quelmo::test::spinFor(20);
    EXPECT_EQ(b.presenceTests, 0) << "the test waits 0.6 s";
    b.clock->advance(1ms);
    ASSERT_TRUE(b.reaches(SetupFlow::installed));
    EXPECT_EQ(b.presenceTests, 1);

    b.clock->advance(1499ms);
    EXPECT_EQ(b.launches, 0);
    EXPECT_FALSE(b.setupSeenStored());
    b.clock->advance(1ms);
    EXPECT_EQ(b.launches, 1) << "the success card leaves by itself after 1.5 s";
    EXPECT_TRUE(b.setupSeenStored());
}

TEST(SetupFlow, InstallSucceedsOnlyOnACleanExitWithTheToolFoundAfterwards) {
    struct Case {
        const char* what;
        ShellResult result;
        bool presentAfter;
        SetupFlow::SetupState state;
        QString message;
    };
    ShellResult notStarted;
    notStarted.error = QStringLiteral("execve: No such file or directory");
    const Case cases[] = {
        {"exit 0, tool found", exited(0, "Installing yt-dlp with Homebrew…\n"), true, SetupFlow::success, {}},
        {"exit 0, silent, tool missing", exited(0, ""), false, SetupFlow::installFailed, "yt-dlp not found after install."},
        {"exit 0, tool missing", exited(0, "already_installed\n"), false, SetupFlow::installFailed, "already_installed"},
        {"exit 1", exited(1, "Downloading yt-dlp_linux…\nThe download is not a Linux program.\n"), true,
         SetupFlow::installFailed, "Downloading yt-dlp_linux…\nThe download is not a Linux program."},
        {"launch failure", notStarted, true, SetupFlow::installFailed, "execve: No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FlowBench b;
        b.checkAndSettle();
        ASSERT_TRUE(b.reaches(SetupFlow::notInstalled));
        b.clock->advance(10s);
        EXPECT_EQ(b.launches, 0) << "only the success card leaves by itself";
        b.installResult = c.result;
        b.present = c.presentAfter;
        b.flow->autoInstall();
        EXPECT_EQ(b.flow->state(), SetupFlow::installing);
        EXPECT_EQ(b.flow->installLog(), "Starting installation…");
        ASSERT_TRUE(b.reaches(c.state));
        EXPECT_EQ(b.flow->failureMessage(), c.message);
        EXPECT_EQ(b.flow->installLog(), "Starting installation…") << "the log keeps its first line";
        EXPECT_EQ(b.presenceTests, c.result.succeeded() ? 2 : 1) << "the tool is looked for only after exit 0";
        b.clock->advance(SetupFlow::launchDelay);
        EXPECT_EQ(b.launches, c.state == SetupFlow::success ? 1 : 0);

        if (c.state == SetupFlow::installFailed) {
            b.present = false;
            b.checkAndSettle();
            EXPECT_TRUE(b.reaches(SetupFlow::notInstalled)) << "Check Again leads back to the setup card";
            EXPECT_TRUE(b.flow->failureMessage().isEmpty());
        }
    }
}

TEST(SetupFlow, EachCopyPressHasItsOwnTwoAndAHalfSecondTimer) {
    FlowBench b;
    b.flow->copyCommand();
    EXPECT_TRUE(b.flow->copied());
    b.clock->advance(1s);
    b.flow->copyCommand();
    EXPECT_EQ(b.copies, QStringList(2, QStringLiteral("sudo apt install yt-dlp ffmpeg")));
    b.clock->advance(1500ms);
    EXPECT_FALSE(b.flow->copied()) << "the first press's timer ends it early";
    b.flow->copyCommand();
    EXPECT_TRUE(b.flow->copied());
    b.clock->advance(1s);
    EXPECT_FALSE(b.flow->copied()) << "the second press's timer, 2.5 s after it";
    b.clock->advance(1500ms);
    EXPECT_FALSE(b.flow->copied());
    EXPECT_EQ(b.copiedChanges, 4);
    EXPECT_EQ(b.clock->pending(), 0u);
}
