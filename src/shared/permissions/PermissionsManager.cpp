#include "shared/permissions/PermissionsManager.h"

#include "shared/BackgroundWorkers.h"
#include "shared/Log.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <pulse/simple.h>

#include <memory>

namespace quelmo::shared {
namespace {

struct SettingsApplication {
    const char* program;
    // The argument that opens each pane, in the order of Pane; empty opens the main page.
    const char* panes[5];
};
constexpr SettingsApplication settingsApplications[] = {
    {"gnome-control-center", {"universal-access", "keyboard", "microphone", "online-accounts", ""}},
    {"systemsettings", {"kcm_access", "kcm_keyboard", "kcm_pulseaudio", "", ""}},
    {"systemsettings5", {"kcm_access", "kcm_keyboard", "kcm_pulseaudio", "", ""}},
    {"xfce4-settings-manager", {"", "", "", "", ""}},
};

void postToMainThread(std::function<void(bool)> callback, bool value) {
    if (!callback) {
        return;
    }
    if (auto* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(
            app, [callback = std::move(callback), value] { callback(value); }, Qt::QueuedConnection);
    } else {
        callback(value);
    }
}

} // namespace

QString PermissionsManager::anchor(Pane pane) {
    switch (pane) {
    case Pane::Accessibility:
        return QStringLiteral("Privacy_Accessibility");
    case Pane::InputMonitoring:
        return QStringLiteral("Privacy_ListenEvent");
    case Pane::Microphone:
        return QStringLiteral("Privacy_Microphone");
    case Pane::Calendars:
        return QStringLiteral("Privacy_Calendars");
    case Pane::FullDiskAccess:
        return QStringLiteral("Privacy_AllFiles");
    }
    return {};
}

bool PermissionsManager::isAccessibilityGranted() {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        return false;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        return false;
    }
    int opcode = 0;
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    int xiMajor = 2;
    int xiMinor = 0;
    const bool granted = XQueryExtension(display, "XInputExtension", &opcode, &event, &error) &&
                         XIQueryVersion(display, &xiMajor, &xiMinor) == Success &&
                         XTestQueryExtension(display, &event, &error, &major, &minor);
    XCloseDisplay(display);
    return granted;
}

void PermissionsManager::requestAccessibility() {
    [[maybe_unused]] const bool granted = isAccessibilityGranted();
}

void PermissionsManager::openAccessibilitySettings() {
    openSettings(Pane::Accessibility);
}
void PermissionsManager::openInputMonitoringSettings() {
    openSettings(Pane::InputMonitoring);
}
void PermissionsManager::openMicrophoneSettings() {
    openSettings(Pane::Microphone);
}
void PermissionsManager::openCalendarSettings() {
    openSettings(Pane::Calendars);
}
void PermissionsManager::openFullDiskAccessSettings() {
    openSettings(Pane::FullDiskAccess);
}

bool PermissionsManager::isMicrophoneGranted() {
    const pa_sample_spec format{PA_SAMPLE_S16LE, 44100, 1};
    int error = 0;
    pa_simple* stream = pa_simple_new(nullptr, "Quelmo", PA_STREAM_RECORD, nullptr, "microphone access",
                                      &format, nullptr, nullptr, &error);
    if (!stream) {
        return false;
    }
    pa_simple_free(stream);
    return true;
}

void PermissionsManager::requestMicrophone(std::function<void(bool)> callback) {
    BackgroundWorkers::pool().start([callback = std::move(callback)]() mutable {
        postToMainThread(std::move(callback), isMicrophoneGranted());
    });
}

void PermissionsManager::requestCalendar(std::function<void(bool)> callback) {
    logLine(QStringLiteral("⚠️ PermissionsManager: Calendar access is not available on this system"));
    postToMainThread(std::move(callback), false);
}

std::optional<QStringList> PermissionsManager::settingsCommand(Pane pane, const QStringList& searchPaths) {
    for (const SettingsApplication& app : settingsApplications) {
        const QString program = QStandardPaths::findExecutable(QString::fromLatin1(app.program), searchPaths);
        if (program.isEmpty()) {
            continue;
        }
        QStringList command{program};
        const QString argument = QString::fromLatin1(app.panes[static_cast<int>(pane)]);
        if (!argument.isEmpty()) {
            command << argument;
        }
        return command;
    }
    return std::nullopt;
}

bool PermissionsManager::openSettings(Pane pane, const QStringList& searchPaths) {
    const auto command = settingsCommand(pane, searchPaths);
    if (!command) {
        logLine(QStringLiteral("⚠️ PermissionsManager: No desktop settings application found (%1)")
                    .arg(anchor(pane)));
        return false;
    }
    if (!QProcess::startDetached(command->first(), command->mid(1))) {
        logLine(QStringLiteral("⚠️ PermissionsManager: %1 did not start (%2)")
                    .arg(command->first(), anchor(pane)));
        return false;
    }
    return true;
}

} // namespace quelmo::shared
