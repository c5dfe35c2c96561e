#include "QuelmoSetupFlow.h"
#include "UiTestSupport.h"
#include "setup/SetupGate.h"
#include "setup/YtdlpInstaller.h"
#include "shared/storage/StorageManager.h"
#include "support/ManualScheduler.h"
#include "support/ScopedEnv.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QQuickItem>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using quelmo::uitest::Scene;
using namespace std::chrono_literals;

namespace {

// Every text on show under item.
QStringList shownTexts(QQuickItem* item) {
    QStringList texts;
    if (!item->isVisible()) {
        return texts;
    }
    if (item->inherits("QQuickText")) {
        texts.append(item->property("text").toString());
    }
    for (QQuickItem* child : item->childItems()) {
        texts += shownTexts(child);
    }
    return texts;
}

// The flag as the application reads it, from its own store.
bool seenFlag() {
    return quelmo::shared::StorageManager::shared().object(QLatin1String(quelmo::SetupGate::setupSeenKey)).toBool();
}

} // namespace

TEST(SetupView, WithoutYtDlpShowsTheSetupCardAndSkippingStoresTheFlag) {
    // The probe override keeps this machine's own yt-dlp out of sight; settings live in the run's
    // own folder, which starts empty.
    QTemporaryDir config;
    quelmo::test::ScopedEnv probes("QUELMO_YTDLP_PROBE_PATHS", (config.path() + "/absent/yt-dlp").toStdString());
    ASSERT_FALSE(seenFlag());

    Scene scene(QStringLiteral("QuelmoSetupView.qml"), {}, {1100, 860});
    ASSERT_TRUE(scene.root());
    const QString skip = QStringLiteral("Skip for now — launch without YouTube downloads");
    EXPECT_TRUE(shownTexts(scene.root()).contains("Checking for yt-dlp…"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return scene.isShown(skip); }, 5000));

    const QStringList texts = shownTexts(scene.root());
    for (const char* text : {"yt-dlp not found", "sudo apt install yt-dlp ffmpeg"}) {
        EXPECT_TRUE(texts.contains(QString::fromUtf8(text))) << text;
    }
    EXPECT_FALSE(texts.contains("Checking for yt-dlp…")) << "one card at a time";
    for (const char* control : {"Copy", "Auto-Install yt-dlp", "Check Again"}) {
        EXPECT_TRUE(scene.isShown(QString::fromUtf8(control))) << control;
    }

    scene.click(QStringLiteral("Copy"));
    EXPECT_TRUE(scene.isShown(QStringLiteral("Copied!")));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "sudo apt install yt-dlp ffmpeg");

    QSignalSpy launched(scene.root(), SIGNAL(launched()));
    scene.click(skip);
    EXPECT_TRUE(seenFlag());
    EXPECT_TRUE(launched.wait(2000)) << "the screen fades out, then hands over to the deck";
}

TEST(SetupView, EachStepHasItsCardFromInstallToFailureToSuccess) {
    // The flow's parts stand in: a clock moved by hand, a presence test and an install that answer
    // as told; the install waits on a worker thread until the test lets it end.
    QTemporaryDir dir;
    auto clock = std::make_shared<quelmo::test::ManualScheduler>();
    std::atomic<bool> present{false};
    std::atomic<bool> release{false};
    quelmo::SetupFlow::Dependencies deps;
    deps.scheduler = clock;
    deps.isInstalled = [&] { return present.load(); };
    deps.runInstall = [&] {
        while (!release) {
            std::this_thread::sleep_for(5ms);
        }
        quelmo::ShellResult result;
        result.launched = true;
        result.exitCode = 1;
        result.output = QStringLiteral("E: Unable to locate package yt-dlp");
        return result;
    };
    deps.settingsFile = dir.filePath(QStringLiteral("settings.ini"));
    QuelmoSetupFlow flow(std::move(deps));

    Scene scene(QStringLiteral("QuelmoSetupView.qml"), {{"flow", QVariant::fromValue<QObject*>(&flow)}}, {1100, 860});
    ASSERT_TRUE(scene.root());
    EXPECT_TRUE(shownTexts(scene.root()).contains("Checking for yt-dlp…"));
    clock->advance(600ms);
    ASSERT_TRUE(QTest::qWaitFor([&] { return scene.isShown("Auto-Install yt-dlp"); }));

    scene.click(QStringLiteral("Auto-Install yt-dlp"));
    QStringList texts = shownTexts(scene.root());
    EXPECT_TRUE(texts.contains("Installing yt-dlp…"));
    EXPECT_TRUE(texts.contains("Starting installation…")) << "the install's log";
    EXPECT_FALSE(scene.isShown("Auto-Install yt-dlp"));

    release = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return scene.isShown("Skip for now"); }));
    texts = shownTexts(scene.root());
    EXPECT_TRUE(texts.contains("Auto-install failed"));
    EXPECT_TRUE(texts.contains("E: Unable to locate package yt-dlp")) << "the install's own words";

    present = true;
    scene.click(QStringLiteral("Check Again"));
    clock->advance(600ms);
    ASSERT_TRUE(QTest::qWaitFor([&] { return scene.isShown("Launch Quelmo"); }));
    EXPECT_TRUE(shownTexts(scene.root()).contains("yt-dlp is installed"));
    QSignalSpy launched(scene.root(), SIGNAL(launched()));
    clock->advance(1500ms);
    EXPECT_TRUE(launched.wait(2000)) << "the success card leaves by itself";
    EXPECT_EQ(launched.count(), 1);
}

TEST(YoutubeInstallInstructions, CopyButtonsPutTheirCommandsOnTheClipboard) {
    Scene scene(QStringLiteral("YoutubeInstallInstructions.qml"),
                {{QStringLiteral("installCommand"), quelmo::manualYtdlpInstallCommand()}}, {520, 1400});
    ASSERT_TRUE(scene.root());
    const std::pair<const char*, const char*> buttons[] = {{"Copy", "apt --version"},
                                                           {"Copy Install Command", "sudo apt install yt-dlp ffmpeg"},
                                                           {"Copy Homebrew Command", "brew install yt-dlp"},
                                                           {"Copy with sudo", "sudo apt install yt-dlp ffmpeg"}};
    for (const auto& [button, command] : buttons) {
        QGuiApplication::clipboard()->clear();
        scene.click(QString::fromUtf8(button));
        EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf8(command)) << button;
    }
}
