#include "UiTestSupport.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QQuickItem>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using quelmo::uitest::Scene;

namespace {

// Every text on show under item.
QStringList shownTexts(QQuickItem* item) {
    QStringList texts;
    if (!item->isVisible() || item->opacity() <= 0) {
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

} // namespace

TEST(SetupView, WithoutYtDlpShowsTheSetupCardAndSkippingStoresTheFlag) {
    // The probe override keeps this machine's own yt-dlp out of sight; settings go to a folder of
    // the test's own.
    QTemporaryDir config;
    qputenv("QUELMO_YTDLP_PROBE_PATHS", (config.path() + "/absent/yt-dlp").toUtf8());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());

    Scene scene(QStringLiteral("QuelmoSetupView.qml"), {}, {1100, 860});
    ASSERT_TRUE(scene.root());
    const QString skip = QStringLiteral("Skip for now — launch without YouTube downloads");
    EXPECT_TRUE(shownTexts(scene.root()).contains("Checking for yt-dlp…"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return scene.isShown(skip); }, 5000));

    const QStringList texts = shownTexts(scene.root());
    for (const char* text : {"Quick Setup", "Quelmo PRO", "yt-dlp not found",
                             "Required for YouTube downloads. Install it in one click or run one Terminal command.",
                             "01", "Open Terminal", "02", "Paste command", "03", "Recheck below", "TERMINAL COMMAND",
                             "sudo apt install yt-dlp ffmpeg"}) {
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
    EXPECT_TRUE(QSettings().value(QStringLiteral("QuelmoSetupSeen")).toBool());
    EXPECT_TRUE(launched.wait(2000)) << "the screen fades out, then hands over to the deck";
    qunsetenv("QUELMO_YTDLP_PROBE_PATHS");
}
