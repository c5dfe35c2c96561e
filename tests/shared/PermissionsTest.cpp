#include "shared/Log.h"
#include "shared/input/EventTapManager.h"
#include "shared/permissions/PermissionsManager.h"
#include "support/EventLoop.h"
#include "support/ScopedEnv.h"

#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

using namespace quelmo::shared;
using Pane = PermissionsManager::Pane;

namespace {


// A stand-in settings application that writes its arguments to a file next to it.
QString installFakeSettingsApp(const QTemporaryDir& dir, const QString& name) {
    const QString path = dir.filePath(name);
    QFile script(path);
    script.open(QIODevice::WriteOnly);
    script.write("#!/bin/sh\necho \"$@\" > \"$(dirname \"$0\")/" + name.toUtf8() + ".args\"\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QString readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

} // namespace

TEST(PermissionsManagerTest, SettingsOpenTheDesktopsSettingsApplicationOrSayNoneWasFound) {
    QTemporaryDir gnomeAndXfce;
    const QString gnome = installFakeSettingsApp(gnomeAndXfce, "gnome-control-center");
    installFakeSettingsApp(gnomeAndXfce, "xfce4-settings-manager");
    EXPECT_EQ(PermissionsManager::settingsCommand(Pane::Microphone, {gnomeAndXfce.path()}),
              (QStringList{gnome, "microphone"}));
    EXPECT_EQ(PermissionsManager::settingsCommand(Pane::FullDiskAccess, {gnomeAndXfce.path()}),
              QStringList{gnome});

    ASSERT_TRUE(PermissionsManager::openSettings(Pane::Accessibility, {gnomeAndXfce.path()}));
    const QString args = gnomeAndXfce.filePath("gnome-control-center.args");
    EXPECT_TRUE(quelmo::test::spinUntil([&] { return readAll(args) == "universal-access"; }, 5000))
        << readAll(args).toStdString();

    QTemporaryDir xfceOnly;
    const QString xfce = installFakeSettingsApp(xfceOnly, "xfce4-settings-manager");
    EXPECT_EQ(PermissionsManager::settingsCommand(Pane::InputMonitoring, {xfceOnly.path()}),
              QStringList{xfce});

    QTemporaryDir none;
    ScopedLogCapture log;
    EXPECT_FALSE(PermissionsManager::openSettings(Pane::Calendars, {none.path()}));
    EXPECT_EQ(log.lines(),
              std::vector<QString>{"⚠️ PermissionsManager: No desktop settings application found "
                                   "(Privacy_Calendars)"});
}

TEST(PermissionsManagerTest, CalendarAndARefusingSoundServerAnswerFalseOnTheMainThread) {
    ScopedLogCapture log;
    std::optional<bool> calendar;
    PermissionsManager::requestCalendar([&](bool granted) { calendar = granted; });
    EXPECT_EQ(calendar, std::nullopt) << "answers later, from the event loop";
    ASSERT_TRUE(quelmo::test::spinUntil([&] { return calendar.has_value(); }));
    EXPECT_FALSE(*calendar);
    EXPECT_TRUE(log.contains("Calendar access is not available"));

    quelmo::test::ScopedEnv server("PULSE_SERVER", "unix:/nonexistent/quelmo-shared-tests");
    EXPECT_FALSE(PermissionsManager::isMicrophoneGranted());
    std::optional<bool> microphone;
    QThread* answeredOn = nullptr;
    PermissionsManager::requestMicrophone([&](bool granted) {
        microphone = granted;
        answeredOn = QThread::currentThread();
    });
    ASSERT_TRUE(quelmo::test::spinUntil([&] { return microphone.has_value(); }, 10000));
    EXPECT_FALSE(*microphone);
    EXPECT_EQ(answeredOn, QThread::currentThread());
}

TEST(EventTapManagerTest, WithoutAnXDisplayTrackingIsRefusedWithoutALine) {
    quelmo::test::ScopedEnv display("DISPLAY", std::nullopt);
    ScopedLogCapture log;
    EventTapManager taps;
    EXPECT_FALSE(taps.checkAccessibility());
    EXPECT_FALSE(taps.startMouseTracking([](QPointF) {}));
    EXPECT_FALSE(taps.startKeyTracking([](const QString&, std::uint16_t, bool) {}));
    EXPECT_TRUE(log.lines().empty());
    EventTapManager::typeText("a");
    EXPECT_TRUE(log.contains("EventTap: Cannot type"));
}
