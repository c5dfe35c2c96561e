#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace quelmo::shared {

// The privacy permissions the shared services lean on, with their Linux meanings: on X11 a process
// is "trusted" for accessibility and input monitoring when the display answers and offers XInput2
// and XTest; the microphone is "granted" when a capture stream on the default source opens;
// calendars have no system-wide store to ask, so calendar access is never granted. Stateless.
class PermissionsManager {
public:
    // The settings panes, by the anchors the rest of the family uses for them.
    enum class Pane { Accessibility, InputMonitoring, Microphone, Calendars, FullDiskAccess };
    static QString anchor(Pane pane);

    static bool isAccessibilityGranted();
    // There is no prompt on X11: the same check, for symmetry with the other requests.
    static void requestAccessibility();
    static void openAccessibilitySettings();
    static void openInputMonitoringSettings();

    // Asks for audio capture by opening a stream on the default source, off the calling thread;
    // callback(granted) runs on the application's main thread.
    static void requestMicrophone(std::function<void(bool)> callback);
    // Opens and closes a capture stream on the default source, on the calling thread.
    static bool isMicrophoneGranted();
    static void openMicrophoneSettings();

    // Logs that calendar access is not available; callback(false) runs on the main thread.
    static void requestCalendar(std::function<void(bool)> callback);
    static void openCalendarSettings();
    static void openFullDiskAccessSettings();

    // The desktop's settings application and the arguments that show pane: the first of
    // gnome-control-center, systemsettings, systemsettings5 and xfce4-settings-manager found on
    // searchPaths (PATH when empty), as an absolute program path followed by its arguments; none
    // when no such application is installed.
    static std::optional<QStringList> settingsCommand(Pane pane, const QStringList& searchPaths = {});
    // Starts that command detached; logs "⚠️ PermissionsManager: No desktop settings application
    // found (<anchor>)" and returns false when there is none or it does not start.
    static bool openSettings(Pane pane, const QStringList& searchPaths = {});
};

} // namespace quelmo::shared
